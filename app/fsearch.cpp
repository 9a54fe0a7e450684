#include "fsearch.h"

#include "app_state.h"
#include "form1.h"
#include "http_clients.h"
#include "registry_keys.h"
#include "submission_log.h"
#include "table_errors.h"
#include "tool_strip.h"
#include "wait_cursor.h"
#include "window_setup.h"

#include "dbf/dataset/tz_dbf.h"
#include "dbf/widgets/tz_grid.h"
#include "dbf/widgets/tz_navigator.h"
#include "html/viewer/html_viewer.h"
#include "platform/ansi.h"
#include "platform/application.h"
#include "platform/file_dialog.h"
#include "platform/message_box.h"
#include "platform/program_folder.h"
#include "platform/registry_store.h"
#include "platform/shell.h"

#include <algorithm>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QSplitter>
#include <QVBoxLayout>

namespace {

constexpr int kProgressPanelWidth = 185;
constexpr int kProgressPanelHeight = 101;
constexpr int kUrlColumnWidth = 255;
// Room beside the columns for the row indicator, the scroll bar and frame.
constexpr int kGridChromeWidth = 40;
// The date column shows the whole 10-character date text.
constexpr const char* kWidestDate = "00.00.00000";
constexpr int kBottomBarHeight = 41;
constexpr int kStartButtonWidth = 140;
constexpr int kStartButtonHeight = 33;
constexpr size_t kMaxIndexFileName = 14;

constexpr int kProgressBarHeight = 10;
constexpr int kPanelMargin = 6;
constexpr int kPanelSpacing = 4;
constexpr int kSummarySpacing = 12;
// Rows of failed requests are drawn on this light red.
const QColor kFailedRowColor(255, 214, 214);

constexpr const char* kConfirmCaption = "Confirm";
constexpr const char* kIndexSuffix = ".ndx";

struct GridColumn {
    const char* title;
    const char* field;
};
constexpr GridColumn kDateColumn = {"Date", "date"};
constexpr GridColumn kSuccessColumn = {"Success", "success"};
constexpr GridColumn kUrlColumn = {"Url", "url"};
// Before the address, which is often wider than the grid.
constexpr GridColumn kStatusColumn = {"Status", "status"};
// The status column shows a typical status whole ("202 Accepted").
constexpr const char* kTypicalStatus = "429 Too Many Requests";

// Whether and for how many days a run leaves out what was sent
// successfully of late, kept in the registry beside the proxy settings.
constexpr const char* kSkipRecentValue = "SkipRecent";
constexpr const char* kSkipRecentDaysValue = "SkipRecentDays";
constexpr int kDefaultSkipRecentDays = 7;
constexpr int kMaxSkipRecentDays = 3660;

} // namespace

Tfsearch::Tfsearch(app::AppState& state, QWidget* parent)
    : QDialog(parent), m_state(state), m_log(state.log()), m_run(state)
{
    setObjectName("fsearch");
    setWindowTitle("Search Engines");
    OnBeep = [] { QApplication::beep(); };
    OnExec = [](const std::string& address) { platform::shellOpen(platform::fromAnsi(address)); };

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(createLogGroup(), 1);
    layout->addWidget(createBottomBar());
    m_progressPanel = createProgressPanel();

    m_run.OnProgress = [this](const app::SubmissionRun& run) { showProgress(run); };
    m_run.OnShowMessage = [this](const std::vector<std::string>& lines) { showMessage(lines); };
    m_run.OnError = [](const std::string& message) {
        Application::showException(QString::fromLocal8Bit(message.c_str()));
    };
    m_run.OnRunStarted = [this](const app::SubmissionRun& run) { showProgress(run); };
    m_run.OnWaiting = [this](const std::string& url, const std::string& text) {
        showWaiting(url, text);
    };
}

Tfsearch::~Tfsearch()
{
    // A window destroyed without closing still leaves the log packed and
    // closed and the main window without a submission to report to.
    if (!m_closed && m_state.submissionOpen)
        FormClose();
}

// --- making the window --------------------------------------------------------------------

QWidget* Tfsearch::createLogGroup()
{
    auto* group = new QGroupBox(" Log record: ", this);
    group->setObjectName("GroupBox1");
    auto* column = new QVBoxLayout(group);

    auto* bar = new QHBoxLayout;
    m_navigator = new TTzNavigator(group);
    m_navigator->setObjectName("TzNavigator1");
    m_navigator->setVisibleButtons({nbFirst, nbPrior, nbNext, nbLast, nbDelete});
    m_navigator->setDataSource(&m_log);
    bar->addWidget(m_navigator);
    // No button of the window is pressed by Enter: one press must never
    // start clearing the log.
    auto* clear = new QPushButton("Clear log", group);
    clear->setObjectName("Button1");
    clear->setAutoDefault(false);
    connect(clear, &QPushButton::clicked, this, [this] { Button1Click(); });
    bar->addWidget(clear);
    auto* exportButton = new QPushButton("Export...", group);
    exportButton->setObjectName("ExportButton");
    exportButton->setAutoDefault(false);
    connect(exportButton, &QPushButton::clicked, this, [this] { ExportClick(); });
    bar->addWidget(exportButton);
    bar->addSpacing(kSummarySpacing);
    bar->addWidget(createSkipRecent(group));
    bar->addStretch(1);
    column->addLayout(bar);

    m_splitter = new QSplitter(Qt::Horizontal, group);
    m_splitter->setObjectName("Splitter1");
    m_grid = new TTzGrid(m_splitter);
    m_grid->setObjectName("TzGrid1");
    setGridColumns(false);
    m_grid->setOptions(dgEditing | dgTitles | dgIndicator | dgColumnResize | dgColLines |
                       dgRowLines | dgTabs);
    m_grid->setBooleanBox(bbCheckBox);
    m_grid->OnDepressTitle = [this](TTzGrid*, TTzColumn* column) {
        TzGrid1DepressTitle(column->FieldName);
    };
    m_grid->setDataSource(&m_log);
    // Failed requests stand out in the list.
    m_grid->OnRowColor = [this](const TTzRowImage& row) { return rowColor(row); };
    m_splitter->addWidget(m_grid);

    m_visor = new THTMLViewer(m_splitter);
    app::applyViewerLook(*m_visor);
    m_visor->setHistoryMaxCount(0);
    // Links in an answer open with the desktop's programs; the viewer never
    // follows them itself.
    m_visor->OnHotSpotClick = [this](THTMLViewer*, const std::string& src, bool& handled) {
        handled = true;
        if (OnExec)
            OnExec(src);
    };
    m_splitter->addWidget(m_visor);
    m_splitter->setStretchFactor(1, 1);
    column->addWidget(m_splitter, 1);
    return group;
}

QWidget* Tfsearch::createBottomBar()
{
    auto [bar, row] = app::createGradientBar(this, "BottomBar", kBottomBarHeight, {4, 4, 4, 4});
    app::ToolButtonDesign design;
    design.caption = "Start Submission";
    design.hint = "Start Submission";
    design.picture = "start";
    design.side = app::PictureSide::Left;
    design.width = kStartButtonWidth;
    design.height = kStartButtonHeight;
    m_startButton = app::createToolButton(bar, design, [this] { StartClick(); });
    m_startButton->setObjectName("Start");
    m_startButton->setToolTip("Start Submission (Alt+S)");
    row->addWidget(m_startButton);
    auto* start = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_S), this);
    connect(start, &QShortcut::activated, this, [this] {
        if (m_startButton->isEnabled())
            StartClick();
    });
    m_summaryLabel = new QLabel(bar);
    m_summaryLabel->setObjectName("Summary");
    row->addSpacing(kSummarySpacing);
    row->addWidget(m_summaryLabel, 1);
    return bar;
}

QWidget* Tfsearch::createSkipRecent(QWidget* parent)
{
    auto* box = new QWidget(parent);
    box->setObjectName("SkipRecentBox");
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(kPanelSpacing);
    m_skipRecent = new QCheckBox("Skip pages sent successfully in the last", box);
    m_skipRecent->setObjectName("SkipRecent");
    m_skipRecentDays = new QSpinBox(box);
    m_skipRecentDays->setObjectName("SkipRecentDays");
    m_skipRecentDays->setRange(1, kMaxSkipRecentDays);
    auto* days = new QLabel("days", box);
    row->addWidget(m_skipRecent);
    row->addWidget(m_skipRecentDays);
    row->addWidget(days);

    RegistryStore store;
    const QString key = app::kPreferencesKey;
    m_skipRecent->setChecked(app::readRegKey(store, key, kSkipRecentValue) == "1");
    bool ok = false;
    const int stored = app::readRegKey(store, key, kSkipRecentDaysValue).toInt(&ok);
    m_skipRecentDays->setValue(ok && stored >= 1 ? std::min(stored, kMaxSkipRecentDays)
                                                 : kDefaultSkipRecentDays);
    m_skipRecentDays->setEnabled(m_skipRecent->isChecked());
    connect(m_skipRecent, &QCheckBox::toggled, m_skipRecentDays, &QWidget::setEnabled);
    return box;
}

void Tfsearch::applyRunSettings()
{
    RegistryStore store;
    const QString key = app::kPreferencesKey;
    app::writeRegKey(store, key, kSkipRecentValue, m_skipRecent->isChecked() ? "1" : "0");
    app::writeRegKey(store, key, kSkipRecentDaysValue, QString::number(m_skipRecentDays->value()));
    m_run.readSettings(store);
    m_run.setSkipRecentDays(m_skipRecent->isChecked() ? m_skipRecentDays->value() : 0);
}

QFrame* Tfsearch::createProgressPanel()
{
    auto* panel = new QFrame(this);
    panel->setObjectName("ProgressPanel");
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Raised);
    panel->setAutoFillBackground(true);
    panel->setFixedSize(kProgressPanelWidth, kProgressPanelHeight);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(kPanelMargin, kPanelMargin, kPanelMargin, kPanelMargin);
    column->setSpacing(kPanelSpacing);
    m_progressLabel = new QLabel(panel);
    m_progressLabel->setObjectName("ProgressLabel");
    m_progressLabel->setAlignment(Qt::AlignCenter);
    m_progressLabel->setWordWrap(true);
    m_progressLabel->setMinimumHeight(2 * m_progressLabel->fontMetrics().height());
    column->addWidget(m_progressLabel, 1);
    m_progressBar = new QProgressBar(panel);
    m_progressBar->setObjectName("ProgressBar");
    m_progressBar->setTextVisible(false);
    m_progressBar->setFixedHeight(kProgressBarHeight);
    column->addWidget(m_progressBar);
    m_cancelButton = new QPushButton("Cancel", panel);
    m_cancelButton->setObjectName("Cancel");
    m_cancelButton->setAutoDefault(false);
    connect(m_cancelButton, &QPushButton::clicked, this, [this] { CancelClick(); });
    column->addWidget(m_cancelButton, 0, Qt::AlignHCenter);
    panel->hide();
    return panel;
}

bool Tfsearch::FormCreate()
{
    m_progressLabel->clear();
    app::sizeToScreen(*this);
    fitGridWidth();
    QString profile = FileDialog::open(
        this, TForm1::profileDialogOptions("Load Profile", TForm1::MissingProfile::Refuse));
    if (profile.isEmpty()) {
        m_state.cancelRequested = true;
        return false;
    }
    // The files are read before the log opens, so a profile or list that
    // cannot be read leaves the log as it was and no window on the screen.
    try {
        m_run.load(profile, m_state.enginesFileName);
    } catch (const std::exception& error) {
        Application::showException(QString::fromLocal8Bit(error.what()));
        m_state.cancelRequested = true;
        return false;
    }
    if (!openLogTable())
        return false;
    m_state.cancelRequested = false;
    // A profile that has never been submitted has no date to show.
    QString caption = QFileInfo(profile).fileName();
    if (!m_run.profileDate().empty())
        caption += " - " + platform::fromAnsi(m_run.profileDate());
    setWindowTitle(caption);
    return true;
}

bool Tfsearch::openLogTable()
{
    m_state.submissionOpen = true;
    // Answers come straight to this window's run while it is open.
    m_run.receiveRequestDone();
    m_log.OnDataChange = [this](TTzDataSource* sender, TTzField* field) {
        logDataChange(sender, field);
    };
    const app::TableError failure =
        app::catchTableError(m_log.engine(), [this] { app::openLog(m_log); });
    if (!failure) {
        m_successField = m_log.FieldNo("success");
        addStatusColumn();
        showArrivalOrder();
        return true;
    }
    m_state.submissionOpen = false;
    m_state.cancelRequested = true;
    m_log.OnDataChange = nullptr;
    m_run.releaseRequestDone();
    if (m_log.Active())
        m_log.setActive(false);
    // Another run (a scheduled one, say) has the log: nothing is wrong, the
    // user tries again later.
    if (app::logInUse(failure)) {
        MessageBox::error(this, windowTitle(),
                          "The submission log " + m_state.logFileName() +
                              " is in use by another run of the program (a scheduled "
                              "submission, for example). Try again when it has ended.");
        return false;
    }
    // Any other failure of the table is reported the engine's way, which
    // ends the program.
    m_log.engine().haltReporter()(failure.code, failure.text);
    return false;
}

void Tfsearch::setGridColumns(bool withStatus)
{
    m_grid->Columns().Clear();
    const auto add = [this](const GridColumn& c, int width) {
        TTzColumn* column = m_grid->Columns().Add();
        column->FieldName = c.field;
        column->Title.Caption = c.title;
        if (width > 0)
            column->Width = width;
    };
    add(kDateColumn, m_grid->fontMetrics().horizontalAdvance(kWidestDate));
    add(kSuccessColumn, 0);
    if (withStatus)
        add(kStatusColumn, m_grid->fontMetrics().horizontalAdvance(kTypicalStatus));
    add(kUrlColumn, kUrlColumnWidth);
    m_grid->LayoutChanged();
}

void Tfsearch::fitGridWidth()
{
    // The grid starts wide enough for its columns, at most half the window;
    // the answer viewer takes the rest.
    int gridWidth = kGridChromeWidth;
    for (int i = 0; i < m_grid->Columns().Count(); ++i)
        gridWidth += m_grid->Columns()[i]->Width;
    gridWidth = std::min(gridWidth, width() / 2);
    m_splitter->setSizes({gridWidth, width() - gridWidth});
}

void Tfsearch::addStatusColumn()
{
    // A log made before the status field has no such column.
    if (!app::logHasStatus(m_log))
        return;
    setGridColumns(true);
    fitGridWidth();
}

void Tfsearch::showArrivalOrder()
{
    // The table opens ordered by its first index; the window starts in the
    // order the answers arrived, which a title press returns to.
    dbf::DbfEngine& engine = m_log.engine();
    if (engine.Select(m_log.WorkArea()) && engine.IndexOrder() != 0) {
        engine.Set_Order_To(0);
        m_log.GoTop();
    }
}

// --- the run ------------------------------------------------------------------------------

void Tfsearch::StartClick()
{
    // A run started inside a running one would reset its counters and send
    // every pair again; the button is off while a run goes, and this guards
    // the keyboard as well.
    if (m_run.running())
        return;
    if (m_run.engineLines().empty()) {
        MessageBox::information(this, windowTitle(),
                                "The engines list " + m_state.enginesFileName +
                                    " has no engine lines to send.");
        return;
    }
    if (m_run.pages().empty()) {
        MessageBox::information(this, windowTitle(),
                                "The profile " + QFileInfo(m_run.profilePath()).fileName() +
                                    " has no pages to submit.");
        return;
    }
    m_startButton->setEnabled(false);
    m_summaryLabel->clear();
    applyRunSettings();
    // Every result is appended through the table's record buffer, so a
    // record being edited in the grid is written first and editing waits
    // for the end of the run.
    m_log.DataSet()->CheckBrowseMode();
    const TTzGridOptions gridOptions = m_grid->Options();
    m_grid->setOptions(gridOptions & ~TTzGridOptions(dgEditing));
    // The panel counts from the first request on.
    m_progressBar->setRange(0, static_cast<int>(m_run.engineLines().size() * m_run.pages().size()));
    m_progressBar->setValue(0);
    m_progressLabel->setText(QString("Sended 0 of %1").arg(m_progressBar->maximum()));
    app::SubmissionRun::Outcome outcome = app::SubmissionRun::Outcome::Finished;
    {
        // The hourglass for the run only, not for what its end shows.
        const app::WaitCursor wait;
        m_progressPanel->show();
        m_progressPanel->raise();
        FormResize();
        try {
            outcome = m_run.run();
        } catch (...) {
            m_progressPanel->hide();
            m_startButton->setEnabled(true);
            m_grid->setOptions(gridOptions);
            throw;
        }
    }
    m_startButton->setEnabled(true);
    m_grid->setOptions(gridOptions);
    if (outcome == app::SubmissionRun::Outcome::Cancelled) {
        close();
        return;
    }
    m_progressPanel->hide();
    m_summaryLabel->setText(m_run.summaryText());
    beep();
    // The system close button was pressed during the run: close now.
    if (m_closeAsked)
        close();
}

void Tfsearch::CancelClick()
{
    m_state.cancelRequested = true;
    m_progressLabel->setText("Closing...");
    QCoreApplication::processEvents();
    // A running run notices the flag, ends and closes the window itself.
    if (!m_run.running())
        close();
}

void Tfsearch::logDataChange(TTzDataSource*, TTzField*)
{
    if (!m_log.Active() || !m_state.submissionOpen)
        return;
    std::vector<std::string> lines;
    m_log.GetMField("MESSAGE", lines);
    if (lines.empty() && !m_log.GetLField("success"))
        lines = failureLines(m_log.GetCField("url"), m_log.GetCField("date"));
    showMessage(lines);
}

std::vector<std::string> Tfsearch::failureLines(const std::string& url, const std::string& date)
{
    // A failure without an answer still says what failed, and when.
    const auto trimmed = [](std::string text) {
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        return text;
    };
    const QString line = "<p>The request to <b>" +
                         platform::fromAnsi(trimmed(url)).toHtmlEscaped() + "</b> failed on " +
                         platform::fromAnsi(trimmed(date)).toHtmlEscaped() +
                         " without an answer.</p>";
    return {platform::toAnsi(line)};
}

QColor Tfsearch::rowColor(const TTzRowImage& row) const
{
    const size_t at = static_cast<size_t>(m_successField - 1);
    if (m_successField > 0 && at < row.texts.size() && row.texts[at] != "T")
        return kFailedRowColor;
    return {};
}

void Tfsearch::showWaiting(const std::string& url, const std::string& text)
{
    // The panel says what the run waits for until the request goes out
    // again (an empty text) or another answer arrives.
    if (text.empty()) {
        if (m_showingWait)
            showProgress(m_run);
        return;
    }
    m_showingWait = true;
    m_progressLabel->setText(platform::fromAnsi(text));
    m_progressLabel->setToolTip(platform::fromAnsi(url));
}

void Tfsearch::showProgress(const app::SubmissionRun& run)
{
    m_showingWait = false;
    m_progressLabel->setToolTip({});
    m_progressLabel->setText(run.progressText());
    m_progressBar->setMaximum(run.requestTotal());
    m_progressBar->setValue(std::min(run.requestsLogged(), run.requestTotal()));
}

QString Tfsearch::summaryText() const
{
    return m_summaryLabel->text();
}

void Tfsearch::showMessage(const std::vector<std::string>& lines)
{
    m_shownLines = lines;
    m_visor->LoadStrings(lines);
}

QString Tfsearch::progressText() const
{
    return m_progressLabel->text();
}

bool Tfsearch::progressVisible() const
{
    return m_progressPanel->isVisible();
}

// --- closing ------------------------------------------------------------------------------

void Tfsearch::closeEvent(QCloseEvent* event)
{
    // Only Cancel stops a run early; any other close waits for its end.
    if (m_run.running()) {
        m_closeAsked = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void Tfsearch::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        CancelClick();
        return;
    }
    QDialog::keyPressEvent(event);
}

void Tfsearch::done(int result)
{
    if (m_run.running()) {
        m_closeAsked = true;
        return;
    }
    if (!m_closed)
        FormClose();
    QDialog::done(result);
}

void Tfsearch::FormClose()
{
    m_closed = true;
    m_state.clients().abortBusy();
    if (m_log.Active()) {
        // A record changed in the grid is written before the table closes.
        m_log.DataSet()->CheckBrowseMode();
        m_log.Pack();
    }
    m_state.submissionOpen = false;
    m_log.setActive(false);
    m_log.OnDataChange = nullptr;
    m_run.releaseRequestDone();
}

void Tfsearch::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    FormResize();
}

void Tfsearch::FormResize()
{
    m_progressPanel->move((width() - m_progressPanel->width()) / 2,
                          (height() - m_progressPanel->height()) / 2);
}

void Tfsearch::beep()
{
    if (OnBeep)
        OnBeep();
}

// --- the log ------------------------------------------------------------------------------

void Tfsearch::TzGrid1DepressTitle(const std::string& fieldName)
{
    m_indexFileName = (fieldName + kIndexSuffix).substr(0, kMaxIndexFileName);
    // The index files live in the program folder, the current folder.
    if (!QFileInfo::exists(QString::fromLocal8Bit(m_indexFileName.c_str()))) {
        beep();
        m_grid->ReleaseTitle();
        return;
    }
    m_log.PostIfEditing();
    if (m_sortedByColumn) {
        m_log.SetIndexTo("");
        m_sortedByColumn = false;
        return;
    }
    const app::WaitCursor wait;
    const long recNo = m_log.RecNo();
    bool ordered = false;
    {
        const dbf::ErrorCheckOff quiet(m_log.engine());
        ordered = m_log.SetIndexTo(m_indexFileName);
    }
    m_sortedByColumn = ordered;
    if (!ordered)
        beep();
    if (recNo >= 1 && recNo <= m_log.RecCount())
        m_log.Go(recNo);
    else
        m_log.GoTop();
}

void Tfsearch::Button1Click()
{
    if (!MessageBox::question(this, kConfirmCaption, "Do you want to clear the log record?",
                              MessageBox::Default::No))
        return;
    // A record being edited in the grid goes with the rest; its changes must
    // not be written into the emptied table later.
    m_log.DataSet()->Cancel();
    m_log.Zap();
}

void Tfsearch::ExportClick()
{
    const FileDialog::Options options =
        app::programFolderDialog("Export Log", "CSV files (*.csv)", "csv");
    QString path = FileDialog::save(this, options);
    if (path.isEmpty())
        return;
    // The file holds what the grid shows, a changed record included.
    m_log.DataSet()->CheckBrowseMode();
    const app::LogExport exported = app::exportLogCsv(m_log, path);
    if (!exported.damaged.empty())
        MessageBox::error(this, "Export Log", app::damageReportText(exported));
}
