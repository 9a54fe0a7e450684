#include "builtin_pages.h"

#include "platform/text_file.h"

namespace app {
namespace {

// The pages are kept as one raw literal each, easier to read and edit than
// a list of quoted lines, and split into lines on demand.
constexpr const char* kHelp = R"(<html>
<head><title>Help</title></head>
<body bgcolor="#FFFFFF">
<h1><font color="#000080">Quorvane</font></h1>
<h3>How to make automatic submissions</h3>
<table border="0" cellspacing="4" cellpadding="6" width="100%">
<tr>
<td bgcolor="#E9D91B" valign="top" align="center"><font size="5"><b>1</b></font></td>
<td bgcolor="#F8F2AD">Create a profile with the <b>Edit/Create profile</b> button. A profile
holds your name, your e-mail address and the list of pages you want to submit, one address
per line. Most engines only ask for the e-mail address; a few want your name as well. You
choose a profile every time you submit, so you can keep one for each of your sites.</td>
</tr>
<tr>
<td bgcolor="#E9D91B" valign="top" align="center"><font size="5"><b>2</b></font></td>
<td bgcolor="#F8F2AD">Press <b>Submit</b> to send your pages to every engine of the engines
list. The list is the box at the bottom of the window and lives in the file
<tt>engines.txt</tt>. It holds only a few engines at first; you can extend it by hand or let
the program write new lines for you (see <a href="addingengines.html">Adding Engines</a>).
Other list files are opened with <b>File, Engines List, Open</b>.</td>
</tr>
<tr>
<td bgcolor="#E9D91B" valign="top" align="center"><font size="5"><b>3</b></font></td>
<td bgcolor="#F8F2AD">After <b>Submit</b> the submission window opens. Choose your profile
and press <b>Start Submission</b>: every page goes to every engine, and each answer is kept
in the log shown in that window.</td>
</tr>
</table>
<h3>IndexNow</h3>
<p>Most engines now learn about pages through IndexNow; Bing, Yandex, Seznam, Naver and Yep
share what any of them receives, so the one line of <tt>indexnow.txt</tt>
(api.indexnow.org) reaches them all.</p>
<ol>
<li>In <b>Program Options</b> press <b>Generate</b> for a key, then OK.</li>
<li>Put a text file holding the key on your site as https://HOST/KEY.txt.</li>
<li>Press <b>Check IndexNow key...</b> there to see that every host of a profile serves it.</li>
<li>Fill the profile from your sitemap with <b>Import sitemap...</b> in the profile editor,
and save it.</li>
<li>Open <tt>indexnow.txt</tt> with <b>File, Engines List, Open</b> and press <b>Submit</b>.</li>
</ol>
<p><a href="license.html">License Agreement</a></p>
<p>Questions and suggestions: <a href="mailto:quorvane@example.org">quorvane@example.org</a><br>
Web site: <a href="http://www.example.org/quorvane/">http://www.example.org/quorvane/</a></p>
</body>
</html>)";

constexpr const char* kAddingEngines = R"(<html>
<head><title>Adding Engines</title></head>
<body bgcolor="#FFFFFF">
<h2><font color="#000080">Adding Engines</font></h2>
<p>Quorvane learns a new engine from the engine's own submission form:</p>
<ol>
<li>Download the engine's submission page with <b>Download URL</b> (Ctrl+D; type the page's
whole address, beginning with http:// or https://), or open a copy saved on your disk
with <b>Open Local URL</b> (Ctrl+O). Links to other web pages in a downloaded page are
downloaded too; other links are looked up on your disk.</li>
<li>Mark the fields of the form. Right-click the field for the page address and choose
<b>URL</b>, the field for your e-mail address and choose <b>E-Mail</b>, and the field for
your name and choose <b>Name</b>; or click into the field and press Ctrl+U, Ctrl+E or
Ctrl+N. The field then shows ##url, ##email or ##name. Fill in any other field, such as a
country or a category, by hand.</li>
<li>Press the page's own submit button. Nothing is sent: instead a new line is appended at
the bottom of the engines list. A form that names its handler without a site is completed
with the site you typed into <b>Download URL</b>; for a saved copy opened from disk such a
line has no site, so add it by hand. If the list already had an outdated line for the same
engine, erase that line by hand.</li>
<li>Save the list with <b>File, Engines List, Save</b> or <b>Save As</b>.</li>
</ol>
</body>
</html>)";

constexpr const char* kLicense = R"(<html>
<head><title>License Agreement</title></head>
<body bgcolor="#FFFFFF">
<h2><font color="#000080">License Agreement</font></h2>
<p>Quorvane is freeware. You may use it at no charge, at home or at work, on as many
computers as you like, and you may give unchanged copies of it to others, provided that you
charge nothing for it and keep this agreement with it.</p>
<p>You may not sell Quorvane, rent it out or pass it off as your own work.</p>
<p>You are responsible for what you submit and for following the rules of every service
you submit to.</p>
<p><b>Disclaimer of warranty.</b> Quorvane is provided "as is", without warranty of any
kind, express or implied, including the warranties of merchantability and fitness for a
particular purpose. The authors are not liable for any damage or loss that results from
using it or from being unable to use it. You use it at your own risk.</p>
<p>Using Quorvane means that you accept these terms.</p>
</body>
</html>)";

} // namespace

std::vector<std::string> helpPage()
{
    return platform::splitLines(kHelp);
}

std::vector<std::string> addingEnginesPage()
{
    return platform::splitLines(kAddingEngines);
}

std::vector<std::string> licensePage()
{
    return platform::splitLines(kLicense);
}

} // namespace app
