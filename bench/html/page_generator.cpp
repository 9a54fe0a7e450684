#include "page_generator.h"

#include <random>

namespace {

const char* const kWords[] = {
    "search", "engine", "submit",  "your",     "site",      "page",    "free",     "listing",
    "index",  "web",    "the",     "and",      "of",        "to",      "in",       "for",
    "with",   "url",    "address", "category", "directory", "results", "keywords", "description",
    "title",  "robot",  "crawler", "link",     "popularity"};

std::string words(std::mt19937& random, int count)
{
    std::string out;
    for (int i = 0; i < count; ++i) {
        if (i)
            out += ' ';
        out += kWords[random() % std::size(kWords)];
    }
    return out;
}

} // namespace

std::string generatePage(std::size_t bytes, unsigned seed)
{
    std::mt19937 random(seed);
    std::string page =
        "<html><head><title>Generated submission page</title>"
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">"
        "</head>\n<body bgcolor=\"#FFFFFF\" link=\"#0000CC\">\n";
    int block = 0;
    while (page.size() < bytes) {
        switch (block++ % 10) {
        case 0:
            page += "<h2>" + words(random, 4) + "</h2>\n";
            break;
        case 1:
        case 2:
        case 3:
            page += "<p>" + words(random, 30) + " <a href=\"page" + std::to_string(random() % 500) +
                    ".html\">" + words(random, 3) + "</a> " + words(random, 20) + " <b>" +
                    words(random, 2) + "</b> &amp; <i>" + words(random, 3) + "</i> " +
                    words(random, 25) + ".\n";
            break;
        case 4: {
            page += "<ul>\n";
            for (int i = 0; i < 6; ++i)
                page += "<li><a href=\"http://www.example.com/" + std::to_string(i) + "\">" +
                        words(random, 3) + "</a> - " + words(random, 8) + "\n";
            page += "</ul>\n";
            break;
        }
        case 5:
            page += "<ol type=A><li>" + words(random, 6) + "<li>" + words(random, 9) + "</ol>\n";
            break;
        case 6: {
            page += "<table border=1 cellpadding=3 width=90%>\n<tr><th colspan=3 bgcolor=navy>"
                    "<font color=white>" +
                    words(random, 3) + "</font></th></tr>\n";
            for (int r = 0; r < 5; ++r) {
                page += "<tr>";
                for (int c = 0; c < 3; ++c)
                    page += "<td bgcolor=\"#E0E0FF\">" + words(random, 2 + c * 3) + "</td>";
                page += "</tr>\n";
            }
            page += "</table>\n";
            break;
        }
        case 7:
            page += "<form action=\"/cgi-bin/add.cgi\" method=post>URL: <input name=url size=40>"
                    " E-mail: <input name=email><br><select name=cat><option>Arts"
                    "<option selected>Business<option>Computers</select>"
                    "<input type=checkbox name=ok checked> " +
                    words(random, 4) + "<br><textarea name=c rows=3 cols=40>" + words(random, 10) +
                    "</textarea><input type=submit value=\"Add URL\"></form>\n";
            break;
        case 8:
            page += "<pre>" + words(random, 8) + "\n  " + words(random, 6) + "\n</pre>\n";
            break;
        default:
            page += "<p align=center><font size=+1>" + words(random, 12) + "</font><br>" +
                    words(random, 15) + "<hr>\n";
        }
    }
    page += "</body></html>\n";
    return page;
}
