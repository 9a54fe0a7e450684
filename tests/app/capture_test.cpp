// Form capture: the engine line made from a submitted form, and the main
// window's context menu that marks the form's fields.

#include "app_test_env.h"

#include "app/form1.h"
#include "app/form_capture.h"
#include "html/document/form_control_obj.h"
#include "html/viewer/html_viewer.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace {

using app::captureEngineLine;
using app::SubmittedForm;

TEST(CaptureLine, BuildsOneEngineLinePerForm)
{
    const std::vector<std::string> marked{"url=##url", "email=##email", "go=Add"};
    struct Case {
        const char* name;
        SubmittedForm form;
        std::string site;
        std::string line;
        std::string siteAfter;
    } cases[] = {
        {"relative POST on a .com host",
         {"/cgi-bin/add.pl", "post", marked},
         "http://www.example.com/a/b/submit.html",
         "POSThttp://www.example.com/cgi-bin/add.pl?url=##url&email=##email&go=Add",
         "http://www.example.com/"},
        {"no METHOD is a GET",
         {"add.cgi", "Get", {"u=##url"}},
         "http://search.example.org",
         "GEThttp://search.example.org/add.cgi?u=##url",
         "http://search.example.org/"},
        {"spaces become %20, & and = stay",
         {"/add", "Get", {"cat=Arts and Music", "q=a&b=c", "dq="}},
         "http://d.example.com/",
         "GEThttp://d.example.com/add?cat=Arts%20and%20Music&q=a&b=c&dq=",
         "http://d.example.com/"},
        {"absolute action stays",
         {"HTTP://other.example.net/add", "POST", {"u=##url"}},
         "http://www.example.com/x/y.html",
         "POSTHTTP://other.example.net/add?u=##url",
         "http://www.example.com"},
        {"absolute https action stays",
         {"https://secure.example.net/add", "post", {"u=##url"}},
         "http://www.example.com/",
         "POSThttps://secure.example.net/add?u=##url",
         "http://www.example.com"},
        {"relative action on an https site keeps the scheme",
         {"cgi/add", "post", {"u=##url"}},
         "https://secure.example.com/p/form.html",
         "POSThttps://secure.example.com/cgi/add?u=##url",
         "https://secure.example.com/"},
        {"a port and a two-letter domain stay in the root",
         {"/add", "Get", {"u=##url"}},
         "http://www.example.co.uk:8080/dir/form.html",
         "GEThttp://www.example.co.uk:8080/add?u=##url",
         "http://www.example.co.uk:8080/"},
        {"host written without scheme is not doubled",
         {"www.example.com/cgi-bin/add.pl", "post", {"u=##url"}},
         "http://www.example.com/f.html",
         "POSThttp://www.example.com/cgi-bin/add.pl?u=##url",
         "http://"},
        {"protocol-relative action takes the site's scheme",
         {"//add.example.net/submit", "post", {"u=##url"}},
         "https://www.example.com/form.html",
         "POSThttps://add.example.net/submit?u=##url",
         "https://www.example.com/"},
        {"no typed site leaves the action relative",
         {"/cgi-bin/add.pl", "post", {"u=##url"}},
         "",
         "POST/cgi-bin/add.pl?u=##url",
         ""},
        {"a scheme alone names no site",
         {"/cgi-bin/add.pl", "post", {"u=##url"}},
         "http://",
         "POST/cgi-bin/add.pl?u=##url",
         "http://"},
        {"a form without fields",
         {"http://x.example.org/add", "get", {}},
         "",
         "GEThttp://x.example.org/add?",
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string site = c.site;
        EXPECT_EQ(captureEngineLine(c.form, site), c.line);
        EXPECT_EQ(site, c.siteAfter);
    }
}

TEST(CaptureLine, TheNextCaptureOnTheSameSiteResolvesTheSameWay)
{
    std::string site = "http://www.example.com/deep/er/form.html";
    const SubmittedForm form{"/cgi-bin/add.pl", "post", {"url=##url"}};
    const std::string first = captureEngineLine(form, site);
    EXPECT_EQ(site, "http://www.example.com/");
    EXPECT_EQ(captureEngineLine(form, site), first);
    EXPECT_EQ(site, "http://www.example.com/");
}

TEST(CaptureLine, SiteRootsAndWebAddresses)
{
    struct {
        const char* address;
        const char* root;
    } roots[] = {
        {"http://www.example.com/a/b/c.html", "http://www.example.com"},
        {"http://www.example.com", "http://www.example.com"},
        {"https://h.example.org:8443/x?y=http://z", "https://h.example.org:8443"},
        {"www.example.com/a", "www.example.com/a"},
        {"http://", "http://"},
    };
    for (const auto& r : roots)
        EXPECT_EQ(app::extraewebbasic(r.address), r.root) << r.address;

    for (const char* web : {"http://a.example/", "HTTP://A.EXAMPLE/", "HttpS://a.example/x"})
        EXPECT_TRUE(app::isWebAddress(web)) << web;
    for (const char* local : {"page.html", "mailto:me@example.org", "http:/x", "#top", ""})
        EXPECT_FALSE(app::isWebAddress(local)) << local;
}

constexpr const char* kFormPage = R"(<html><head><title>Add your site</title></head><body>
<p>Add your page to our index</p>
<form action="/cgi-bin/add.pl" method="post">
URL <input type="text" name="url" size="30"><br>
E-mail <input type="text" name="email"><br>
Comments <textarea name="comments" rows="3" cols="30"></textarea><br>
<input type="hidden" name="src" value="top">
<input type="submit" name="go" value="Add">
</form></body></html>)";

class FormCapture : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        m_window = std::make_unique<TForm1>();
        m_window->show();
        m_window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
    }
    void TearDown() override
    {
        m_window.reset();
        AppTest::TearDown();
    }

    THTMLViewer& visor() { return *m_window->visor(); }
    void showForm() { visor().LoadStrings({kFormPage}); }
    template <typename W> W* field(int n)
    {
        return qobject_cast<W*>(
            visor().FormControlList().at(static_cast<std::size_t>(n))->WindowControl());
    }
    QAction* item(const char* name) { return m_window->PopupMenu()->findChild<QAction*>(name); }
    std::string lastEngineLine() { return m_window->enginesLines().back(); }

    std::unique_ptr<TForm1> m_window;
};

TEST_F(FormCapture, ContextMenuHoldsTheCaptureAndHistoryItems)
{
    QStringList items;
    for (QAction* action : m_window->PopupMenu()->actions())
        items << (action->isSeparator() ? "-"
                                        : action->objectName() + " " + action->text() + " " +
                                              action->shortcut().toString());
    EXPECT_EQ(items, QStringList({"url URL Ctrl+U", "email E-Mail Ctrl+E", "name Name Ctrl+N", "-",
                                  "CopyURL1 Copy URL ", "Copy1 Copy Ctrl+C", "-",
                                  "backbutton Back ", "Forwardbutton Forward "}));
    EXPECT_EQ(visor().PopupMenu(), m_window->PopupMenu());
}

TEST_F(FormCapture, MenuMarksTheFocusedField)
{
    showForm();
    auto* url = field<QLineEdit>(0);
    auto* email = field<QLineEdit>(1);
    auto* comments = field<QPlainTextEdit>(2);
    ASSERT_TRUE(url && email && comments);

    url->setFocus();
    item("url")->trigger();
    email->setFocus();
    item("email")->trigger();
    comments->setFocus();
    item("name")->trigger();
    EXPECT_EQ(url->text(), "##url");
    EXPECT_EQ(email->text(), "##email");
    EXPECT_EQ(comments->toPlainText(), "##name");

    // The focus on the page itself, not on a field: nothing happens.
    visor().setFocus();
    item("url")->trigger();
    EXPECT_EQ(email->text(), "##email");
    EXPECT_TRUE(MessageBox::shown().empty());

    // Nothing has the focus at all.
    m_window->focusWidget()->clearFocus();
    ASSERT_EQ(m_window->focusWidget(), nullptr);
    item("email")->trigger();
    ASSERT_EQ(MessageBox::shown().size(), 1u);
    EXPECT_EQ(MessageBox::shown().back().text, "No form field available");
}

TEST_F(FormCapture, KeysMarkWhileTheFieldHasTheFocus)
{
    showForm();
    auto* url = field<QLineEdit>(0);
    auto* email = field<QLineEdit>(1);
    auto* comments = field<QPlainTextEdit>(2);
    auto text = [](QWidget* w) {
        auto* edit = qobject_cast<QLineEdit*>(w);
        return edit ? edit->text() : qobject_cast<QPlainTextEdit*>(w)->toPlainText();
    };
    struct {
        QWidget* target;
        Qt::Key key;
        const char* marked;
    } presses[] = {
        {url, Qt::Key_N, "##name"},     {url, Qt::Key_U, "##url"},
        {email, Qt::Key_E, "##email"},  {comments, Qt::Key_E, "##email"},
        {comments, Qt::Key_U, "##url"},
    };
    for (const auto& p : presses) {
        p.target->setFocus();
        QTest::keyClick(p.target, p.key, Qt::ControlModifier);
        EXPECT_EQ(text(p.target), p.marked) << p.target->objectName().toStdString() << p.key;
    }

    // Other keys still edit the field.
    url->setFocus();
    QTest::keyClick(url, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(url, Qt::Key_X);
    EXPECT_EQ(url->text(), "x");
}

TEST_F(FormCapture, RightClickOnAFieldOpensThePageMenu)
{
    showForm();
    auto* url = field<QLineEdit>(0);
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(3, 3), url->mapToGlobal(QPoint(3, 3)));
    QApplication::sendEvent(url, &event);
    EXPECT_TRUE(m_window->PopupMenu()->isVisible());
    m_window->PopupMenu()->close();
}

TEST_F(FormCapture, MenuItemsFollowTheViewer)
{
    auto popup = [this] {
        m_window->PopupMenuPopup();
        return QString("%1%2%3%4%5%6%7")
            .arg(item("url")->isEnabled())
            .arg(item("email")->isEnabled())
            .arg(item("name")->isEnabled())
            .arg(item("CopyURL1")->isEnabled())
            .arg(item("Copy1")->isEnabled())
            .arg(item("backbutton")->isEnabled())
            .arg(item("Forwardbutton")->isEnabled());
    };
    // An empty viewer: only the marking items.
    EXPECT_EQ(popup(), "1110000");

    // Three pages seen: Back from the newest, both from the middle one,
    // Forward from the oldest.
    for (const char* name : {"one.html", "two.html", "three.html"}) {
        QFile file(home() + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("<html><body><p>Page ") + name + " with some text</p></body></html>");
        file.close();
        visor().LoadFromFile(home() + name);
    }
    EXPECT_EQ(popup(), "1110010");
    item("backbutton")->trigger();
    EXPECT_EQ(visor().HistoryIndex(), 1);
    EXPECT_EQ(popup(), "1110011");
    item("backbutton")->trigger();
    EXPECT_EQ(popup(), "1110001");
    item("Forwardbutton")->trigger();
    item("Forwardbutton")->trigger();
    EXPECT_EQ(visor().CurrentFile(), home() + "three.html");
    EXPECT_EQ(popup(), "1110010");

    // A link under the pointer: Copy URL, which copies its address.
    m_window->visorHotSpotCovered("http://www.example.com/add.html");
    EXPECT_EQ(visor().toolTip(), "http://www.example.com/add.html");
    EXPECT_EQ(popup(), "1111010");
    item("CopyURL1")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "http://www.example.com/add.html");
    m_window->visorHotSpotCovered("");
    EXPECT_EQ(popup(), "1110010");

    // Selected text: Copy.
    QWidget* panel = visor().PaintPanel();
    auto mouse = [panel](QEvent::Type type, QPoint at, Qt::MouseButtons held) {
        QMouseEvent event(type, QPointF(at), QPointF(panel->mapToGlobal(at)), Qt::LeftButton, held,
                          Qt::NoModifier);
        QApplication::sendEvent(panel, &event);
    };
    // A drag along the text line, wherever the line lies.
    mouse(QEvent::MouseButtonPress, QPoint(12, 2), Qt::LeftButton);
    for (int y = 2; y < 60; y += 2)
        mouse(QEvent::MouseMove, QPoint(200, y), Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, QPoint(200, 60), Qt::NoButton);
    ASSERT_NE(visor().SelLength(), 0);
    EXPECT_EQ(popup(), "1110110");
    item("Copy1")->trigger();
    EXPECT_TRUE(QGuiApplication::clipboard()->text().contains("three.html"));
}

TEST_F(FormCapture, SubmitButtonAppendsTheLineAndSendsNothing)
{
    m_window->siteAddress = "http://www.example.com/engines/add/form.html";
    showForm();
    field<QLineEdit>(0)->setFocus();
    item("url")->trigger();
    field<QLineEdit>(1)->setFocus();
    item("email")->trigger();
    field<QPlainTextEdit>(2)->setPlainText("Arts and Music");
    const std::size_t before = m_window->enginesLines().size();
    ASSERT_FALSE(m_window->enginesModified());

    QTest::mouseClick(visor().FormControlList().at(4)->WindowControl(), Qt::LeftButton);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();

    ASSERT_EQ(m_window->enginesLines().size(), before + 1);
    EXPECT_EQ(lastEngineLine(), "POSThttp://www.example.com/cgi-bin/add.pl?url=##url&email=##email&"
                                "comments=Arts%20and%20Music&src=top&go=Add");
    EXPECT_TRUE(m_window->enginesModified());
    EXPECT_EQ(m_window->siteAddress, "http://www.example.com/");
    EXPECT_EQ(visor().DocumentTitle(), "Add your site");
}

TEST_F(FormCapture, AFormWhoseOnlySubmitIsAButtonElementIsCaptured)
{
    m_window->siteAddress = "http://www.example.org/add.html";
    visor().LoadStrings({R"(<html><body><form action="submit.php">
<input type="text" name="site"><button name="send" value="yes">Send <b>it</b></button>
</form></body></html>)"});
    field<QLineEdit>(0)->setFocus();
    item("url")->trigger();
    auto* button = field<QPushButton>(1);
    ASSERT_TRUE(button);
    QTest::mouseClick(button, Qt::LeftButton);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(lastEngineLine(), "GEThttp://www.example.org/submit.php?site=##url&send=yes");
}

} // namespace
