#pragma once

#include "widgets_test_support.h"

#include "dbf/widgets/tz_grid.h"
#include "dbf/widgets/tz_navigator.h"

#include <QApplication>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>
#include <tuple>

namespace tztest {

// The submission window's grid and navigator over the log, in a window of
// their own.
class GridTest : public TableTest {
protected:
    void SetUp() override
    {
        TableTest::SetUp();
        MessageBox::clearShown();
        makeLog();
        log->setActive(true);
        window.resize(520, 260);
        auto* layout = new QVBoxLayout(&window);
        navigator = new TTzNavigator(&window);
        grid = new TTzGrid(&window);
        layout->addWidget(navigator);
        layout->addWidget(grid);
        // The submission window's grid.
        grid->setOptions(dgEditing | dgTitles | dgIndicator | dgColumnResize | dgColLines |
                         dgRowLines | dgTabs | dgConfirmDelete | dgConfirmRestore);
        for (const auto& [caption, field, width] :
             {std::tuple{"Date", "date", 80}, {"Success", "success", 60}, {"Url", "url", 255}}) {
            TTzColumn* c = grid->Columns().Add();
            c->Title.Caption = caption;
            c->FieldName = field;
            c->Width = width;
        }
        grid->setBooleanBox(bbCheckBox);
        grid->setDataSource(log.get());
        navigator->setVisibleButtons({nbFirst, nbPrior, nbNext, nbLast, nbDelete});
        navigator->setDataSource(log.get());
        window.show();
        QApplication::processEvents();
    }

    void addRows()
    {
        logadd("03/14/2026", true, "http://www.example.com/add?url=http://my.site/");
        logadd("03/14/2026", false, "http://search.example.org/submit?u=http://my.site/a.html");
        logadd("03/15/2026", true, "http://a-engine.example.net/addurl?q=http://my.site/b.html");
        logadd("03/15/2026", true, "http://directory.example/add.cgi?site=http://my.site/");
        log->SetIndexTo("");
        log->GoTop();
    }

    std::vector<long> shownRecords() const
    {
        std::vector<long> records;
        for (const TTzRowImage& row : grid->Rows().rows)
            records.push_back(row.recNo);
        return records;
    }

    void clickTitle(int column)
    {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->TitleRect(column).center());
    }

    QWidget window;
    TTzGrid* grid = nullptr;
    TTzNavigator* navigator = nullptr;
};

} // namespace tztest
