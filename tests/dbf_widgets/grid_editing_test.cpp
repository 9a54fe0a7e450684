// Editing through the grid, offscreen: appending with the new record's row,
// posting and cancelling it, the pick-list editor, the ellipsis button and
// read-only columns.
#include "grid_fixture.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QToolButton>

using tztest::GridTest;

namespace {

class GridEditingTest : public GridTest {
protected:
    void SetUp() override
    {
        GridTest::SetUp();
        addRows();
        grid->setFocus();
    }

    // Types into the selected cell as a user does: the first key opens the
    // editor, the rest go to it.
    void typeIntoCell(const QString& text)
    {
        QTest::keyClick(grid, text.at(0).toLatin1());
        ASSERT_TRUE(grid->EditorMode());
        QTest::keyClicks(grid->InplaceEditor(), text.mid(1));
    }

    TTzDataSetState state() const { return log->DataSet()->State(); }
    std::string url() { return log->GetCField("url").substr(0, log->GetCField("url").find(' ')); }
};

} // namespace

TEST_F(GridEditingTest, DownPastTheLastRecordAppendsARecordThatPostWrites)
{
    QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(grid, Qt::Key_Down);
    ASSERT_EQ(state(), dsInsert);
    EXPECT_EQ(shownRecords(), (std::vector<long>{1, 2, 3, 4, 0}));
    EXPECT_EQ(grid->Rows().current, 4);
    EXPECT_EQ(log->RecCount(), 4);

    // Cell by cell: Tab hands the cell in and keeps the record new.
    grid->setSelectedIndex(0);
    typeIntoCell("03/21/2026");
    QTest::keyClick(grid->InplaceEditor(), Qt::Key_Tab);
    EXPECT_EQ(state(), dsInsert);
    EXPECT_EQ(grid->CellText(4, 0), "03/21/2026");
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_EQ(grid->CellText(4, 1), "True");
    QTest::keyClick(grid, Qt::Key_Tab);
    typeIntoCell("http://new.example/");
    // The new row with its editor, for a person to look at.
    window.grab().save(QString(GRID_PICTURE_DIR) + "/grid_new_row.png");
    QTest::keyClick(grid->InplaceEditor(), Qt::Key_Return);

    EXPECT_EQ(state(), dsBrowse);
    ASSERT_EQ(log->RecCount(), 5);
    EXPECT_EQ(log->RecNo(), 5);
    EXPECT_EQ(shownRecords(), (std::vector<long>{1, 2, 3, 4, 5}));
    EXPECT_EQ(grid->Rows().current, 4);
    log->setActive(false);
    const std::string out = script(tztest::kPython, "read.py",
                                   "import dbfread\n"
                                   "t = dbfread.DBF('" +
                                       path("logs.dbf") +
                                       "')\n"
                                       "r = list(t)[-1]\n"
                                       "print(len(t), r['DATE'], r['SUCCESS'], r['URL'])\n");
    EXPECT_EQ(out, "5 03/21/2026 True http://new.example/\n");
}

TEST_F(GridEditingTest, AnEmptyTableGrowsRowByRowAndAnUntouchedNewRowIsDropped)
{
    log->Zap();
    ASSERT_TRUE(grid->Rows().rows.empty());
    QTest::keyClick(grid, Qt::Key_Insert);
    ASSERT_EQ(state(), dsInsert);
    EXPECT_EQ(shownRecords(), (std::vector<long>{0}));
    grid->setSelectedIndex(2);
    typeIntoCell("http://first/");
    // Down from a filled new row posts it and opens the next one.
    QTest::keyClick(grid->InplaceEditor(), Qt::Key_Down);
    EXPECT_EQ(log->RecCount(), 1);
    EXPECT_EQ(state(), dsInsert);
    EXPECT_EQ(shownRecords(), (std::vector<long>{1, 0}));
    // Down again on the untouched row stays; Up leaves it without a trace.
    QTest::keyClick(grid, Qt::Key_Down);
    EXPECT_EQ(state(), dsInsert);
    QTest::keyClick(grid, Qt::Key_Up);
    EXPECT_EQ(state(), dsBrowse);
    EXPECT_EQ(log->RecCount(), 1);
    EXPECT_EQ(log->RecNo(), 1);
    EXPECT_EQ(shownRecords(), (std::vector<long>{1}));
    EXPECT_EQ(url(), "http://first/");
}

TEST_F(GridEditingTest, EscCancelsTheNewRecordAndAnotherRowPostsIt)
{
    QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
    grid->setSelectedIndex(2);

    // Esc in the editor.
    QTest::keyClick(grid, Qt::Key_Insert);
    typeIntoCell("http://dropped/");
    QTest::keyClick(grid->InplaceEditor(), Qt::Key_Escape);
    EXPECT_EQ(state(), dsBrowse);
    EXPECT_EQ(log->RecCount(), 4);
    EXPECT_EQ(log->RecNo(), 4);
    EXPECT_EQ(shownRecords(), (std::vector<long>{1, 2, 3, 4}));
    EXPECT_EQ(grid->Rows().current, 3);

    // Esc on the grid once the editor has handed its text in.
    QTest::keyClick(grid, Qt::Key_Down);
    typeIntoCell("http://dropped/");
    QTest::keyClick(grid->InplaceEditor(), Qt::Key_Backtab);
    EXPECT_EQ(state(), dsInsert);
    QTest::keyClick(grid, Qt::Key_Escape);
    EXPECT_EQ(state(), dsBrowse);
    EXPECT_EQ(log->RecCount(), 4);

    // A click on another row posts a filled new record first.
    grid->setSelectedIndex(2);
    QTest::keyClick(grid, Qt::Key_Down);
    typeIntoCell("http://kept/");
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->CellRect(0, 0).center());
    EXPECT_EQ(state(), dsBrowse);
    EXPECT_EQ(log->RecCount(), 5);
    EXPECT_EQ(log->RecNo(), 1);
    log->Go(5);
    EXPECT_EQ(url(), "http://kept/");
}

TEST_F(GridEditingTest, ButtonStyleAndPickListChooseTheEditor)
{
    const QStringList list = {"http://first.example/", "http://second.example/"};
    struct Case {
        QStringList pickList;
        TTzColumnButtonStyle style;
        bool dropDown;
        bool ellipsis;
    };
    const std::vector<Case> cases = {{list, cbsAuto, true, false},
                                     {{}, cbsAuto, false, false},
                                     {list, cbsNone, false, false},
                                     {list, cbsEllipsis, false, true},
                                     {{}, cbsNone, false, false}};
    grid->setSelectedIndex(2);
    for (const Case& c : cases) {
        TTzColumn* column = grid->Columns()[2];
        column->PickList = c.pickList;
        column->ButtonStyle = c.style;
        QTest::keyClick(grid, Qt::Key_F2);
        ASSERT_TRUE(grid->EditorMode());
        EXPECT_EQ(grid->PickListEditor() != nullptr, c.dropDown) << int(c.style);
        EXPECT_EQ(grid->EditButton()->isVisible(), c.ellipsis) << int(c.style);
        QTest::keyClick(grid->InplaceEditor(), Qt::Key_Escape);
    }
}

TEST_F(GridEditingTest, APickListChoiceLandsInTheField)
{
    grid->Columns()[2]->PickList = {"http://first.example/", "http://second.example/"};
    log->Go(2);
    grid->setSelectedIndex(2);
    QTest::keyClick(grid, Qt::Key_F2);
    QComboBox* pick = grid->PickListEditor();
    ASSERT_NE(pick, nullptr);
    EXPECT_EQ(grid->InplaceEditor()->text().left(20), "http://search.exampl");
    pick->showPopup();
    QAbstractItemView* list = pick->view();
    ASSERT_TRUE(list->isVisible());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(pick->model()->index(1, 0)).center());
    EXPECT_FALSE(list->isVisible());
    EXPECT_EQ(grid->InplaceEditor()->text(), "http://second.example/");
    EXPECT_EQ(state(), dsEdit);
    EXPECT_EQ(url(), "http://second.example/");
    QTest::keyClick(grid->InplaceEditor(), Qt::Key_Return);
    EXPECT_EQ(state(), dsBrowse);
    log->Go(1);
    log->Go(2);
    EXPECT_EQ(url(), "http://second.example/");
}

TEST_F(GridEditingTest, TheEllipsisButtonRaisesTheEditButtonEvent)
{
    grid->Columns()[2]->ButtonStyle = cbsEllipsis;
    int raised = 0;
    grid->OnEditButtonClick = [&](TTzGrid* sender) {
        EXPECT_EQ(sender, grid);
        ++raised;
        // What the user typed has reached the field.
        EXPECT_EQ(url(), "typed");
        log->SetCField("url", "http://chosen.example/");
    };
    grid->setSelectedIndex(2);
    typeIntoCell("typed");
    QToolButton* button = nullptr;
    for (QToolButton* b : grid->InplaceEditor()->findChildren<QToolButton*>())
        if (b->defaultAction() == grid->EditButton())
            button = b;
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isVisible());
    window.grab().save(QString(GRID_PICTURE_DIR) + "/grid_ellipsis.png");
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(raised, 1);
    EXPECT_EQ(grid->InplaceEditor()->text(), "http://chosen.example/");
    EXPECT_EQ(state(), dsEdit);

    grid->OnEditButtonClick = [&](TTzGrid*) { ++raised; };
    QTest::keyClick(grid->InplaceEditor(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(raised, 2);
    QTest::keyClick(grid->InplaceEditor(), Qt::Key_Return);
    EXPECT_EQ(state(), dsBrowse);
    EXPECT_EQ(url(), "http://chosen.example/");
}

TEST_F(GridEditingTest, ReadOnlyColumnsRefuseEdits)
{
    grid->Columns()[1]->ReadOnly = true;
    grid->Columns()[2]->ReadOnly = true;
    const std::string urlBefore = url();
    const bool successBefore = log->GetLField("success");
    struct Case {
        int column;
        Qt::Key key;
    };
    const std::vector<Case> cases = {
        {2, Qt::Key_F2}, {2, Qt::Key_X}, {2, Qt::Key_Return}, {1, Qt::Key_Space}, {1, Qt::Key_F2}};
    const auto tryAll = [&] {
        for (const Case& c : cases) {
            grid->setSelectedIndex(c.column);
            QTest::keyClick(grid, c.key);
            EXPECT_FALSE(grid->EditorMode()) << c.column << " " << c.key;
        }
        grid->setSelectedIndex(1);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {},
                           grid->CellRect(grid->Rows().current, 1).center());
    };
    tryAll();
    EXPECT_EQ(state(), dsBrowse);
    EXPECT_EQ(url(), urlBefore);
    EXPECT_EQ(log->GetLField("success"), successBefore);

    // A new record takes nothing in them either; the date column still edits.
    QTest::keyClick(grid, Qt::Key_Insert);
    tryAll();
    EXPECT_EQ(state(), dsInsert);
    EXPECT_FALSE(log->DataSet()->Modified());
    grid->setSelectedIndex(0);
    typeIntoCell("03/22/2026");
    EXPECT_TRUE(grid->EditorMode());
    QTest::keyClick(grid->InplaceEditor(), Qt::Key_Escape);
    EXPECT_EQ(log->RecCount(), 4);
}
