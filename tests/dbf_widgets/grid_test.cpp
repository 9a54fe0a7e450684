// The grid and the navigator over the log table, offscreen: what they show,
// title presses, navigator actions with their confirmations, and a large
// table read only as far as it is shown.
#include "grid_fixture.h"
#include "platform/message_box.h"

#include <filesystem>
#include <QImage>
#include <QScrollBar>
#include <QToolButton>

using tztest::GridTest;

TEST_F(GridTest, ShowsOneRowPerRecordWithTheColumnsTexts)
{
    addRows();
    EXPECT_EQ(shownRecords(), (std::vector<long>{1, 2, 3, 4}));
    EXPECT_EQ(grid->Rows().current, 0);
    EXPECT_EQ(grid->CellText(0, 0), "03/14/2026");
    EXPECT_EQ(grid->CellText(1, 1), "False");
    EXPECT_EQ(grid->CellText(2, 2), "http://a-engine.example.net/addurl?q=http://my.site/b.html");
    // Moving the table moves the grid's current row.
    log->Go(3);
    EXPECT_EQ(grid->Rows().current, 2);
}

TEST_F(GridTest, DeletedRecordsArePaintedInTheirColoursAndThePictureIsKept)
{
    addRows();
    log->Go(2);
    navigator->setConfirmDelete(false);
    navigator->BtnClick(nbDelete);
    log->GoTop();
    grid->setFocus();
    QApplication::processEvents();
    const QImage picture = grid->grab().toImage();
    picture.save(QString(GRID_PICTURE_DIR) + "/grid.png");
    window.grab().save(QString(GRID_PICTURE_DIR) + "/grid_with_navigator.png");
    // Sample the blank left edge of the check-box cells.
    const QPoint offset = grid->viewport()->mapTo(grid, QPoint(0, 0));
    const auto sample = [&](int row) {
        const QRect cell = grid->CellRect(row, 1);
        return picture.pixelColor(QPoint(cell.left() + 3, cell.center().y()) + offset);
    };
    EXPECT_EQ(sample(1), grid->DeletedColor());
    EXPECT_EQ(sample(2), grid->palette().color(QPalette::Base));
}

TEST_F(GridTest, TitlePressRaisesOnDepressTitleAndTheHandlerCanOrder)
{
    addRows();
    // The submission window's handler: alternate between the column's index
    // and record order, beep when the column has none.
    bool sorted = false;
    int beeps = 0;
    std::vector<std::string> pressed;
    grid->OnDepressTitle = [&](TTzGrid* sender, TTzColumn* column) {
        EXPECT_EQ(sender, grid);
        pressed.push_back(column->FieldName);
        if (!std::filesystem::exists(log->IndexPath(column->FieldName + ".ndx"))) {
            ++beeps;
            sender->ReleaseTitle();
            return;
        }
        if (sorted) {
            log->SetIndexTo("");
            sorted = false;
            return;
        }
        engine.setErrorCheck(false);
        log->SetIndexTo(column->FieldName + ".ndx");
        engine.setErrorCheck(true);
        sorted = log->ErrorCode() == 0;
        log->GoTop();
    };
    clickTitle(2); // Url
    EXPECT_EQ(shownRecords(), (std::vector<long>{3, 4, 2, 1}));
    EXPECT_EQ(grid->DepressedColumn(), grid->Columns()[2]);
    clickTitle(0); // Date: back to record order
    EXPECT_EQ(shownRecords(), (std::vector<long>{1, 2, 3, 4}));
    clickTitle(1); // Success: no index
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(grid->DepressedColumn(), nullptr);
    EXPECT_EQ(shownRecords(), (std::vector<long>{1, 2, 3, 4}));
    EXPECT_EQ(pressed, (std::vector<std::string>{"url", "date", "success"}));

    grid->setDepressDisabled(true);
    clickTitle(0);
    EXPECT_EQ(pressed.size(), 3u);
}

TEST_F(GridTest, NavigatorButtonsFollowThePositionAndTheTable)
{
    const auto enabled = [&](TTzNavigateBtn b) { return navigator->Button(b)->isEnabled(); };
    EXPECT_FALSE(enabled(nbDelete)); // empty table
    EXPECT_FALSE(enabled(nbNext));
    addRows();
    EXPECT_FALSE(enabled(nbFirst));
    EXPECT_FALSE(enabled(nbPrior));
    EXPECT_TRUE(enabled(nbNext));
    EXPECT_TRUE(enabled(nbDelete));
    std::vector<TTzNavigateBtn> clicks;
    navigator->OnClick = [&](TTzNavigator*, TTzNavigateBtn b) { clicks.push_back(b); };
    QTest::mouseClick(navigator->Button(nbNext), Qt::LeftButton);
    EXPECT_EQ(log->RecNo(), 2);
    EXPECT_TRUE(enabled(nbFirst));
    QTest::mouseClick(navigator->Button(nbLast), Qt::LeftButton);
    EXPECT_EQ(log->RecNo(), 4);
    EXPECT_FALSE(enabled(nbNext));
    EXPECT_FALSE(enabled(nbLast));
    EXPECT_EQ(grid->Rows().current, 3);
    QTest::mouseClick(navigator->Button(nbPrior), Qt::LeftButton);
    EXPECT_EQ(log->RecNo(), 3);
    EXPECT_EQ(clicks, (std::vector<TTzNavigateBtn>{nbNext, nbLast, nbPrior}));
    EXPECT_FALSE(navigator->Button(nbPack)->isVisibleTo(navigator));
    EXPECT_EQ(navigator->Button(nbDelete)->toolTip(), "Delete/Restore record");
    log->setActive(false);
    for (int b = nbFirst; b <= nbPack; ++b)
        EXPECT_FALSE(enabled(TTzNavigateBtn(b))) << b;
}

TEST_F(GridTest, DeleteAsksThenMarksAndOnADeletedRecordRestores)
{
    addRows();
    log->Go(2);
    struct Step {
        bool answer;
        bool deletedAfter;
        const char* question;
    };
    const std::vector<Step> steps = {{false, false, "Delete Record ?"},
                                     {true, true, "Delete Record ?"},
                                     {false, true, "Restore Record ?"},
                                     {true, false, "Restore Record ?"}};
    for (const Step& step : steps) {
        MessageBox::clearShown();
        MessageBox::queueAnswer(step.answer);
        navigator->BtnClick(nbDelete);
        ASSERT_EQ(MessageBox::shown().size(), 1u);
        EXPECT_EQ(MessageBox::shown().front().text, step.question);
        EXPECT_EQ(log->Deleted(), step.deletedAfter) << step.question;
        EXPECT_EQ(grid->Rows().rows[1].deleted, step.deletedAfter);
    }
}

TEST_F(GridTest, PackRemovesDeletedRecordsUnderTheHourglass)
{
    addRows();
    navigator->setConfirmDelete(false);
    log->Go(2);
    navigator->BtnClick(nbDelete);
    Qt::CursorShape during = Qt::ArrowCursor;
    log->OnDataChange = [&](TTzDataSource*, TTzField*) {
        if (QApplication::overrideCursor())
            during = QApplication::overrideCursor()->shape();
    };
    navigator->BtnClick(nbPack);
    EXPECT_EQ(during, Qt::WaitCursor);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(log->RecCount(), 3);
    EXPECT_EQ(shownRecords(), (std::vector<long>{1, 2, 3}));
}

TEST_F(GridTest, TabMovesBetweenCellsAndOnToTheNextRecord)
{
    addRows();
    grid->setFocus();
    EXPECT_EQ(grid->SelectedIndex(), 0);
    QTest::keyClick(grid, Qt::Key_Tab);
    EXPECT_EQ(grid->SelectedIndex(), 1);
    EXPECT_TRUE(grid->hasFocus());
    QTest::keyClick(grid, Qt::Key_Tab);
    QTest::keyClick(grid, Qt::Key_Tab);
    EXPECT_EQ(grid->SelectedIndex(), 0);
    EXPECT_EQ(log->RecNo(), 2);
    QTest::keyClick(grid, Qt::Key_Backtab);
    EXPECT_EQ(grid->SelectedIndex(), 2);
    EXPECT_EQ(log->RecNo(), 1);
    QTest::keyClick(grid, Qt::Key_Down);
    QTest::keyClick(grid, Qt::Key_Down);
    EXPECT_EQ(log->RecNo(), 3);
}

TEST_F(GridTest, ClickingARowMakesItsRecordCurrentAndResizingWidensTheColumn)
{
    addRows();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->CellRect(2, 0).center());
    EXPECT_EQ(log->RecNo(), 3);
    const QRect title = grid->TitleRect(0);
    const QPoint border(title.right() + 1, title.center().y());
    QTest::mousePress(grid->viewport(), Qt::LeftButton, {}, border);
    QMouseEvent move(QEvent::MouseMove, QPointF(border + QPoint(30, 0)),
                     grid->viewport()->mapToGlobal(QPointF(border + QPoint(30, 0))), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grid->viewport(), &move);
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, border + QPoint(30, 0));
    EXPECT_EQ(grid->Columns()[0]->Width, 110);
}

TEST_F(GridTest, ALargeTableIsReadOnlyAsFarAsItIsShown)
{
    constexpr long kRecords = 100000;
    log->setActive(false);
    {
        // Filled through the engine directly, as a long-used log would be.
        engine.Select(1);
        ASSERT_TRUE(engine.Use(path("logs.dbf") + " EXCLUSIVE"));
        for (long i = 1; i <= kRecords; ++i) {
            engine.ClearRecord();
            engine.SetFieldText(1, "03/14/2026");
            engine.SetFieldLogical(2, i % 3 != 0);
            engine.SetFieldText(4, "http://h" + std::to_string(i % 977) + ".example/" +
                                       std::to_string(i));
            engine.Append();
        }
        engine.CloseDbf();
    }
    log->setCreateIndex(ciNotFound);
    log->setIndexList({});
    log->setActive(true);
    ASSERT_EQ(log->RecCount(), kRecords);
    long reads = 0;
    engine.SetRecordHooks({}, [&](uint8_t*, size_t) { ++reads; });
    const int rows = grid->VisibleRowCount();
    navigator->BtnClick(nbLast);
    EXPECT_EQ(log->RecNo(), kRecords);
    EXPECT_EQ(grid->Rows().rows.back().recNo, kRecords);
    EXPECT_EQ(int(grid->Rows().rows.size()), rows);
    QTest::keyClick(grid, Qt::Key_PageUp);
    QTest::keyClick(grid, Qt::Key_PageUp);
    // Dragging the scroll bar to the middle goes straight to the record.
    grid->verticalScrollBar()->setSliderPosition(int(kRecords / 2));
    emit grid->verticalScrollBar()->sliderReleased();
    EXPECT_EQ(log->RecNo(), kRecords / 2 + 1);
    EXPECT_LT(reads, 50 * rows);
}

TEST_F(GridTest, CellsAreEditedInPlaceAndPostedOrCancelled)
{
    addRows();
    grid->setFocus();
    grid->setSelectedIndex(2);
    QTest::keyClick(grid, Qt::Key_F2);
    ASSERT_TRUE(grid->EditorMode());
    EXPECT_EQ(log->DataSet()->State(), dsEdit);
    grid->InplaceEditor()->setText("http://edited.example/");
    QTest::keyClick(grid->InplaceEditor(), Qt::Key_Return);
    EXPECT_FALSE(grid->EditorMode());
    EXPECT_EQ(log->DataSet()->State(), dsBrowse);
    EXPECT_EQ(log->GetCField("url").substr(0, 22), "http://edited.example/");
    EXPECT_EQ(grid->CellText(0, 2), "http://edited.example/");

    // A typed character starts a new value; Esc throws it away.
    QTest::keyClick(grid, Qt::Key_X);
    ASSERT_TRUE(grid->EditorMode());
    EXPECT_EQ(grid->InplaceEditor()->text(), "x");
    QTest::keyClick(grid->InplaceEditor(), Qt::Key_Escape);
    EXPECT_EQ(log->DataSet()->State(), dsBrowse);
    EXPECT_EQ(log->GetCField("url").substr(0, 22), "http://edited.example/");

    // Leaving the cell downwards posts it and moves on.
    QTest::keyClick(grid, Qt::Key_Q);
    QTest::keyClick(grid->InplaceEditor(), Qt::Key_Down);
    EXPECT_EQ(log->RecNo(), 2);
    log->Go(1);
    EXPECT_EQ(log->GetCField("url").substr(0, 2), "q ");

    // Space on a logical cell toggles and posts it.
    grid->setSelectedIndex(1);
    const bool before = log->GetLField("success");
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_EQ(log->GetLField("success"), !before);
    EXPECT_EQ(log->DataSet()->State(), dsBrowse);
}

TEST_F(GridTest, NavigatorInsertAndPostAppendARecordAndCancelLeavesNone)
{
    addRows();
    navigator->setVisibleButtons({nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbEdit,
                                  nbPost, nbCancel, nbRefresh, nbPack});
    log->Go(2);
    navigator->BtnClick(nbInsert);
    EXPECT_EQ(log->DataSet()->State(), dsInsert);
    EXPECT_TRUE(navigator->Button(nbPost)->isEnabled());
    EXPECT_FALSE(navigator->Button(nbNext)->isEnabled());
    navigator->BtnClick(nbCancel);
    EXPECT_EQ(log->DataSet()->State(), dsBrowse);
    EXPECT_EQ(log->RecCount(), 4);
    EXPECT_EQ(log->RecNo(), 2);
    EXPECT_EQ(log->GetCField("url").substr(0, 20), "http://search.exampl");

    navigator->BtnClick(nbInsert);
    log->SetCField("url", "http://inserted/");
    navigator->BtnClick(nbPost);
    EXPECT_EQ(log->RecCount(), 5);
    EXPECT_EQ(log->RecNo(), 5);
    EXPECT_EQ(grid->Rows().rows[size_t(grid->Rows().current)].recNo, 5);
    EXPECT_EQ(grid->CellText(grid->Rows().current, 2), "http://inserted/");
}

TEST_F(GridTest, ControlsAndTableMayDieInEitherOrder)
{
    addRows();
    delete grid;
    grid = nullptr;
    log->GoTop(); // the navigator is still told, the grid no more
    EXPECT_TRUE(navigator->Button(nbNext)->isEnabled());
    log.reset(); // the navigator outlives its table
    EXPECT_EQ(navigator->DataSource(), nullptr);
    EXPECT_FALSE(navigator->Button(nbNext)->isEnabled());
    navigator->BtnClick(nbNext);
}

TEST_F(GridTest, SavedColumnsRestoreTheLayout)
{
    addRows();
    grid->Columns()[2]->Width = 300;
    grid->Columns()[1]->ReadOnly = true;
    grid->Columns()[0]->Color = QColor(Qt::yellow);
    grid->Columns()[0]->Title.Alignment = Qt::AlignRight;
    const std::vector<std::string> saved = grid->savedColumns();
    EXPECT_EQ(saved[0], "cvColumn=0");
    EXPECT_EQ(saved[1], "cvFieldNameStr=date");

    TTzGrid other;
    other.setDataSource(log.get());
    other.setSavedColumns(saved);
    ASSERT_EQ(other.Columns().Count(), 3);
    EXPECT_EQ(other.Columns()[2]->Width, 300);
    EXPECT_EQ(other.Columns()[2]->Title.Caption, "Url");
    EXPECT_TRUE(other.Columns()[1]->ReadOnly);
    EXPECT_EQ(other.Columns()[0]->Color, QColor(Qt::yellow));
    EXPECT_EQ(other.Columns()[0]->Title.Alignment, Qt::AlignRight);
    EXPECT_EQ(other.savedColumns(), saved);
    EXPECT_EQ(other.CellText(0, 0), "03/14/2026");
}
