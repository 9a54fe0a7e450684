// What a form reports to the host when it is submitted: the pairs of every
// kind of control, which form they come from, and when the report arrives.
#include "viewer_test_support.h"

#include "html/document/form_control_obj.h"
#include "html/document/html_form.h"
#include "html/document/image_obj.h"
#include "html/document/section_list.h"
#include "html/viewer/form_controls.h"

#include <functional>
#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

namespace {

using Strings = std::vector<std::string>;

// The n-th submit button of the document.
QPushButton* button(ViewerFixture& f, int n)
{
    int seen = 0;
    for (TFormControlObj* c : f.viewer->FormControlList())
        if (auto* b = dynamic_cast<TButtonFormControlObj*>(c))
            if (seen++ == n)
                return b->Button();
    return nullptr;
}

struct PairCase {
    const char* name;
    std::string html;
    std::function<void(ViewerFixture&)> act;
    Strings expected;
};

void clickFirstButton(ViewerFixture& f)
{
    button(f, 0)->click();
}

class SubmissionPairs : public ::testing::TestWithParam<PairCase> {};

TEST_P(SubmissionPairs, ReportsThePairsOfTheSubmittedForm)
{
    const PairCase& c = GetParam();
    ViewerFixture f;
    f.load(c.html);
    c.act(f);
    f.deliver();
    ASSERT_EQ(f.submissions.size(), 1u);
    EXPECT_EQ(f.submissions[0].Results, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, SubmissionPairs,
    ::testing::Values(
        PairCase{"MarkedEditReportsTheMarker",
                 "<form><input name=url value=old><input type=submit></form>",
                 [](ViewerFixture& f) {
                     f.control<QLineEdit>(0)->setText("##url");
                     clickFirstButton(f);
                 },
                 {"url=##url"}},
        PairCase{"UncheckedBoxesAndRadiosAddNothing",
                 "<form><input type=checkbox name=a><input type=checkbox name=b checked>"
                 "<input type=checkbox name=c value=yes checked>"
                 "<input type=radio name=r value=1><input type=radio name=r value=2>"
                 "<input type=submit></form>",
                 clickFirstButton,
                 {"b=on", "c=yes"}},
        PairCase{"CheckedRadioReportsItsValue",
                 "<form><input type=radio name=r value=1 checked><input type=radio name=r "
                 "value=2><input type=submit></form>",
                 clickFirstButton,
                 {"r=1"}},
        PairCase{"MultiSelectWithNothingSelectedAddsNothing",
                 "<form><select name=m multiple><option>A<option>B</select>"
                 "<input type=submit></form>",
                 clickFirstButton,
                 {}},
        PairCase{"MultiSelectReportsEverySelectedOption",
                 "<form><select name=m multiple><option selected>A<option>B<option "
                 "selected value=c>C</select><input type=submit></form>",
                 clickFirstButton,
                 {"m=A", "m=c"}},
        PairCase{"SingleSelectsReportTheirFirstOptionByDefault",
                 "<form><select name=s><option value=1>One<option value=2>Two</select>"
                 "<select name=l size=3><option>x<option>y</select>"
                 "<input type=submit></form>",
                 clickFirstButton,
                 {"s=1", "l=x"}},
        PairCase{"LastSelectedOptionWins",
                 "<form><select name=s><option selected>a<option selected>b<option>c"
                 "</select><input type=submit></form>",
                 clickFirstButton,
                 {"s=b"}},
        PairCase{"OptionWithoutValueReportsItsText",
                 "<form><select name=s><option>  Only text  </select>"
                 "<input type=submit></form>",
                 clickFirstButton,
                 {"s=Only text"}},
        PairCase{"UnnamedSubmitButtonAddsNoPair",
                 "<form><input name=q value=v><input type=submit value=Go></form>",
                 clickFirstButton,
                 {"q=v"}},
        PairCase{"NamedSubmitButtonComesLast",
                 "<form><input type=submit name=go value=Add><input name=q value=v></form>",
                 clickFirstButton,
                 {"q=v", "go=Add"}},
        PairCase{"HiddenFieldsAndMissingNamesAreReportedAsTheyStand",
                 "<form><input type=hidden name=h value='a&b=c'><input value=x>"
                 "<input type=submit></form>",
                 clickFirstButton,
                 {"h=a&b=c", "=x"}},
        PairCase{"TextAreaLinesJoinWithCrLf",
                 "<form><textarea name=t>line one\nline two</textarea>"
                 "<input type=submit></form>",
                 clickFirstButton,
                 {"t=line one\r\nline two"}},
        PairCase{"WrappedTextAreaLinesJoinWithNothing",
                 "<form><textarea name=t wrap=SOFT>ab\ncd</textarea>"
                 "<input type=submit></form>",
                 clickFirstButton,
                 {"t=abcd"}},
        PairCase{"UnknownInputTypeIsAnEdit",
                 "<form><input type=file name=f value=z><input type=submit></form>",
                 clickFirstButton,
                 {"f=z"}},
        PairCase{"EnterInAnEditSubmits",
                 "<form><input name=a value=1><input name=b value=2></form>",
                 [](ViewerFixture& f) { f.key(f.control<QLineEdit>(1), Qt::Key_Return); },
                 {"a=1", "b=2"}},
        PairCase{"OnlyTheClickedButtonsFormIsReported",
                 "<form action=one><input name=a value=1><input type=submit></form>"
                 "<form action=two><input name=b value=2><input type=submit></form>",
                 [](ViewerFixture& f) { button(f, 1)->click(); },
                 {"b=2"}},
        PairCase{"FieldsBetweenFormsMakeAnImplicitForm",
                 "<input name=a value=1><form><input name=b value=2></form>"
                 "<input name=c value=3><input type=submit>",
                 clickFirstButton,
                 {"c=3"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FormSubmission, ReportsActionTargetEncTypeAndMethodAsWritten)
{
    ViewerFixture f;
    f.load("<form action='/cgi-bin/add.pl' method=post target=_top enctype=text/plain>"
           "<input type=submit></form><input name=x><input type=submit>");
    button(f, 0)->click();
    button(f, 1)->click();
    f.deliver();
    // The second submission overwrote the first before it was delivered.
    ASSERT_EQ(f.submissions.size(), 1u);
    EXPECT_EQ(f.submissions[0].Method, "Get");
    EXPECT_EQ(f.submissions[0].Action, "");

    button(f, 0)->click();
    f.deliver();
    ASSERT_EQ(f.submissions.size(), 2u);
    EXPECT_EQ(f.submissions[1].Action, "/cgi-bin/add.pl");
    EXPECT_EQ(f.submissions[1].Method, "post");
    EXPECT_EQ(f.submissions[1].Target, "_top");
    EXPECT_EQ(f.submissions[1].EncType, "text/plain");
}

TEST(FormSubmission, ReachesTheHostOnlyAfterTheClickHandlerReturned)
{
    ViewerFixture f;
    f.load("<form><input name=a value=1><input type=submit name=s value=Go></form>");
    std::vector<std::string> order;
    f.viewer->OnObjectClick = [&](THTMLViewer*, TFormControlObj*, const std::string&) {
        order.push_back("click");
    };
    auto record = f.viewer->OnFormSubmit;
    f.viewer->OnFormSubmit = [&](THTMLViewer* v, const std::string& a, const std::string& t,
                                 const std::string& e, const std::string& m, Strings r) {
        order.push_back("submit");
        // The handler may replace the document that holds the form.
        v->LoadStrings({"<p>next page</p>"});
        record(v, a, t, e, m, std::move(r));
    };
    button(f, 0)->click();
    EXPECT_EQ(order, (Strings{"click"}));
    f.deliver();
    EXPECT_EQ(order, (Strings{"click", "submit"}));
    ASSERT_EQ(f.submissions.size(), 1u);
    EXPECT_EQ(f.submissions[0].Results, (Strings{"a=1", "s=Go"}));
    EXPECT_TRUE(f.viewer->FormControlList().empty());
}

TEST(FormSubmission, WithoutAHandlerNothingIsPosted)
{
    ViewerFixture f;
    f.viewer->OnFormSubmit = nullptr;
    f.load("<form><input type=submit></form>");
    button(f, 0)->click();
    f.deliver();
    EXPECT_TRUE(f.submissions.empty());
}

TEST(FormSubmission, EnterInATextAreaBreaksTheLineAndDoesNotSubmit)
{
    ViewerFixture f;
    f.load("<form><textarea name=t>ab</textarea><input type=submit></form>");
    QPlainTextEdit* memo = f.control<QPlainTextEdit>(0);
    memo->setFocus();
    QTextCursor end = memo->textCursor();
    end.movePosition(QTextCursor::End);
    memo->setTextCursor(end);
    f.key(memo, Qt::Key_Return);
    f.deliver();
    EXPECT_TRUE(f.submissions.empty());
    button(f, 0)->click();
    f.deliver();
    ASSERT_EQ(f.submissions.size(), 1u);
    EXPECT_EQ(f.submissions[0].Results, (Strings{"t=ab\r\n"}));
}

TEST(FormSubmission, ImageInputReportsItsClickOnlyForItsOwnSubmission)
{
    ViewerFixture f;
    f.load("<form><input type=image name=pic src=none.gif alt=Send><input name=a value=1>"
           "<input type=submit></form>");
    TImageObj* image = f.viewer->Document().ImageList.at(0);
    ASSERT_NE(image->FormControl, nullptr);

    button(f, 0)->click();
    f.deliver();
    const QPoint at = f.viewer->DocumentToPanel(QPoint(image->Left + 3, image->Top + 4));
    f.click(at);
    f.deliver();
    button(f, 0)->click();
    f.deliver();

    ASSERT_EQ(f.submissions.size(), 3u);
    EXPECT_EQ(f.submissions[0].Results, (Strings{"a=1"}));
    EXPECT_EQ(f.submissions[1].Results, (Strings{"pic.x=3", "pic.y=4", "a=1"}));
    EXPECT_EQ(f.submissions[2].Results, (Strings{"a=1"}));
}

TEST(FormSubmission, ResetPutsEveryControlBack)
{
    ViewerFixture f;
    f.load("<form><input name=a value=first><input type=checkbox name=c checked>"
           "<select name=s><option>x<option selected>y</select>"
           "<textarea name=t>text</textarea><input type=reset><input type=submit></form>");
    f.control<QLineEdit>(0)->setText("changed");
    f.control<QCheckBox>(1)->setChecked(false);
    f.control<QComboBox>(2)->setCurrentIndex(0);
    f.control<QPlainTextEdit>(3)->setPlainText("other");
    button(f, 0)->click();
    EXPECT_EQ(button(f, 0)->text(), "Reset");
    button(f, 1)->click();
    f.deliver();
    ASSERT_EQ(f.submissions.size(), 1u);
    EXPECT_EQ(f.submissions[0].Results, (Strings{"a=first", "c=on", "s=y", "t=text"}));
}

TEST(FormSubmission, CheckingARadioUnchecksItsNamesakesOfTheSameForm)
{
    ViewerFixture f;
    f.load("<form><input type=radio name=Color value=r checked>"
           "<input type=radio name=COLOR value=g><input type=radio name=size value=s checked>"
           "</form><form><input type=radio name=color value=b checked></form>");
    int clicks = 0;
    f.viewer->OnObjectClick = [&](THTMLViewer*, TFormControlObj*, const std::string&) { ++clicks; };
    f.control<QRadioButton>(1)->click();
    EXPECT_FALSE(f.control<QRadioButton>(0)->isChecked());
    EXPECT_TRUE(f.control<QRadioButton>(1)->isChecked());
    EXPECT_TRUE(f.control<QRadioButton>(2)->isChecked());
    EXPECT_TRUE(f.control<QRadioButton>(3)->isChecked());
    // A click on a checked radio keeps it checked.
    f.control<QRadioButton>(1)->click();
    EXPECT_TRUE(f.control<QRadioButton>(1)->isChecked());
    EXPECT_EQ(clicks, 2);
}

TEST(FormControls, KindsSizesAndDefaults)
{
    ViewerFixture f;
    f.load("<input type=password name=p maxlength=8 size=10><input type=hidden name=h>"
           "<input type=submit><input type=reset><input type=button>"
           "<input type=checkbox><input type=radio>"
           "<select multiple><option>a<option>b</select><select><option>a</select>"
           "<textarea rows=3 cols=12></textarea>");
    const auto& list = f.viewer->FormControlList();
    ASSERT_EQ(list.size(), 10u);
    auto* edit = f.control<QLineEdit>(0);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
    EXPECT_EQ(edit->maxLength(), 8);
    EXPECT_EQ(list[0]->Height(), 20);
    EXPECT_EQ(list[1]->WindowControl(), nullptr);
    EXPECT_EQ(list[2]->Value, "Submit");
    EXPECT_EQ(list[3]->Value, "Reset");
    EXPECT_EQ(list[4]->Value, "Button");
    EXPECT_EQ(list[5]->Width(), 13);
    EXPECT_EQ(list[5]->Height(), 13);
    EXPECT_EQ(list[6]->Width(), 13);
    EXPECT_EQ(list[6]->Height(), 14);
    ASSERT_NE(f.control<QRadioButton>(6), nullptr);
    auto* multi = f.control<QListWidget>(7);
    ASSERT_NE(multi, nullptr);
    EXPECT_EQ(multi->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_NE(f.control<QComboBox>(8), nullptr);
    EXPECT_NE(f.control<QPlainTextEdit>(9), nullptr);
    // The edit is ten "A"s of the field font wide, plus five.
    const int a = f.viewer->Document().Fonts().metrics("Courier New", 10).width('A');
    EXPECT_EQ(list[0]->Width(), 10 * a + 5);
}

TEST(FormControls, ControlsOutOfViewAreHiddenAndFocusScrollsOneIntoView)
{
    ViewerFixture f(400, 200);
    std::string page = "<form><input name=top>";
    for (int i = 0; i < 60; ++i)
        page += "<p>line " + std::to_string(i);
    page += "<input name=bottom></form>";
    f.load(page);
    auto* top = f.control<QLineEdit>(0);
    auto* bottom = f.control<QLineEdit>(1);
    const QRect panel = f.viewer->PaintPanel()->rect();
    EXPECT_TRUE(panel.intersects(top->geometry()));
    EXPECT_FALSE(panel.intersects(bottom->geometry()));
    QApplication::setActiveWindow(f.viewer.get());
    bottom->setFocus();
    EXPECT_GT(f.viewer->VScrollPosition(), 0);
    EXPECT_TRUE(panel.contains(bottom->geometry()));
    EXPECT_FALSE(panel.intersects(top->geometry()));
    EXPECT_LT(top->x(), 0);
}

TEST(FormControls, HostilePageWithThousandsOfControlsAndDeepNestingLoads)
{
    ViewerFixture f;
    std::string page;
    for (int i = 0; i < 2000; ++i)
        page += "<input name=f" + std::to_string(i) + ">";
    for (int i = 0; i < 1500; ++i)
        page += "<table><tr><td><ul><li><div><form><input type=checkbox name=c>";
    page += "<select><option>deep<textarea>";
    f.load(page);
    EXPECT_GE(f.viewer->FormControlList().size(), 3500u);
    f.viewer->grab();
    f.key(f.viewer.get(), Qt::Key_End);
    f.viewer->grab();
}

} // namespace

namespace {

TEST(FormControls, ButtonElementSubmitsLikeASubmitInput)
{
    ViewerFixture f;
    f.load("<form action=\"/cgi-bin/add.pl\" method=post>"
           "<input name=url value=\"##url\"><input type=hidden name=go value=1>"
           "<button type=reset>Clear</button>"
           "<button name=act value=Add><b>Add</b> URL</button></form>");
    QPushButton* reset = button(f, 0);
    QPushButton* add = button(f, 1);
    ASSERT_NE(reset, nullptr);
    ASSERT_NE(add, nullptr);
    EXPECT_EQ(reset->text(), "Clear");
    EXPECT_EQ(add->text(), "Add URL");

    f.control<QLineEdit>(0)->setText("typed");
    reset->click();
    f.deliver();
    EXPECT_TRUE(f.submissions.empty());
    EXPECT_EQ(f.control<QLineEdit>(0)->text(), "##url");

    add->click();
    EXPECT_TRUE(f.submissions.empty()); // reported from the event loop
    f.deliver();
    ASSERT_EQ(f.submissions.size(), 1u);
    EXPECT_EQ(f.submissions[0].Action, "/cgi-bin/add.pl");
    EXPECT_EQ(f.submissions[0].Method, "post");
    EXPECT_EQ(f.submissions[0].Results, (Strings{"url=##url", "go=1", "act=Add"}));
}

TEST(FormControls, ButtonElementWithoutNameOrValue)
{
    ViewerFixture f;
    f.load("<form action=a><input name=q value=x><button>Search</button></form>"
           "<form action=b><button name=s></button></form>");
    button(f, 0)->click();
    button(f, 1)->click();
    f.deliver();
    // The second click overwrites the first before delivery.
    ASSERT_EQ(f.submissions.size(), 1u);
    EXPECT_EQ(f.submissions[0].Action, "b");
    EXPECT_EQ(f.submissions[0].Results, Strings{"s="});
    EXPECT_EQ(button(f, 1)->text(), "Submit");
    f.submissions.clear();
    button(f, 0)->click();
    f.deliver();
    ASSERT_EQ(f.submissions.size(), 1u);
    EXPECT_EQ(f.submissions[0].Results, Strings{"q=x"});
}

} // namespace
