#pragma once

#include "app_state.h"
#include "submission_run.h"

#include <functional>
#include <QDialog>
#include <string>
#include <vector>

class QCheckBox;
class QColor;
class QLabel;
class QSpinBox;
class QProgressBar;
class QFrame;
class QPushButton;
class QSplitter;
class TTzDataSource;
class TTzField;
class THTMLViewer;
class TTzDbf;
class TTzGrid;
class TTzNavigator;
struct TTzRowImage;

// The submission window "Search Engines": the log with its grid, navigator
// and answer viewer above, "Start Submission" below, and a small centred
// panel with the progress text and Cancel while a run is going. The Submit
// command makes one, runs FormCreate (which asks for the profile), shows it
// modally and destroys it. It works on the shared state alone: its HTTP
// clients, log table, engines file name and flags.
class Tfsearch : public QDialog {
    Q_OBJECT
public:
    explicit Tfsearch(app::AppState& state, QWidget* parent = nullptr);
    ~Tfsearch() override;

    // Asks for the profile, opens the log and reads the profile and the
    // engines list. False when the user cancelled the dialog or a file could
    // not be read (the error is shown); the window is then not to be shown.
    bool FormCreate();

    // "Start Submission".
    void StartClick();
    // Cancel button and Esc.
    void CancelClick();
    // The log's current record changed: its message is shown.
    void logDataChange(TTzDataSource* sender, TTzField* field);
    // Shows lines as the answer in the viewer.
    void showMessage(const std::vector<std::string>& lines);
    // The lines the viewer shows now.
    const std::vector<std::string>& shownMessage() const { return m_shownLines; }

    // Title press of the grid column showing the given field.
    void TzGrid1DepressTitle(const std::string& fieldName);
    // "Clear log".
    void Button1Click();
    // "Export...".
    void ExportClick();
    TTzGrid* grid() const { return m_grid; }
    TTzNavigator* navigator() const { return m_navigator; }

    app::SubmissionRun& run() { return m_run; }
    bool sortedByColumn() const { return m_sortedByColumn; }
    QString progressText() const;
    bool progressVisible() const;
    QProgressBar* progressBar() const { return m_progressBar; }
    // The line beside "Start Submission" after a run: "N requests, S
    // succeeded, F failed", kept until the next run starts.
    QString summaryText() const;
    // "Skip pages sent successfully in the last N days": the check box and
    // the number, remembered in the registry when a run starts.
    QCheckBox* skipRecentBox() const { return m_skipRecent; }
    QSpinBox* skipRecentDaysBox() const { return m_skipRecentDays; }
    // What the viewer shows for a failed record without an answer.
    static std::vector<std::string> failureLines(const std::string& url, const std::string& date);

    // The default system beep; tests count beeps through it.
    std::function<void()> OnBeep;
    // Opens a link clicked in an answer; the desktop's programs by default.
    std::function<void(const std::string& address)> OnExec;

protected:
    void done(int result) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormClose();
    void FormResize();
    QWidget* createLogGroup();
    QWidget* createBottomBar();
    QWidget* createSkipRecent(QWidget* parent);
    // Stores the skip setting and hands it, the key and "Retries" to the run.
    void applyRunSettings();
    // Date, Success, Status (when asked for) and Url.
    void setGridColumns(bool withStatus);
    void fitGridWidth();
    // The "Status" column, for a log that has the field.
    void addStatusColumn();
    void showWaiting(const std::string& url, const std::string& text);
    QFrame* createProgressPanel();
    // Opens the log for the window. A log that another run holds is
    // reported and the window is not shown; any other failure of the table
    // goes to the engine's halt reporter.
    bool openLogTable();
    void showArrivalOrder();
    void showProgress(const app::SubmissionRun& run);
    // The background of a grid row: failed requests stand out.
    QColor rowColor(const TTzRowImage& row) const;
    void beep();

    app::AppState& m_state;
    TTzDbf& m_log;
    app::SubmissionRun m_run;

    bool m_sortedByColumn = false;
    std::string m_indexFileName;
    bool m_closeAsked = false;
    bool m_closed = false;

    TTzGrid* m_grid = nullptr;
    TTzNavigator* m_navigator = nullptr;
    THTMLViewer* m_visor = nullptr;
    QSplitter* m_splitter = nullptr;
    QWidget* m_startButton = nullptr;
    QFrame* m_progressPanel = nullptr;
    QLabel* m_progressLabel = nullptr;
    QProgressBar* m_progressBar = nullptr;
    QLabel* m_summaryLabel = nullptr;
    QCheckBox* m_skipRecent = nullptr;
    QSpinBox* m_skipRecentDays = nullptr;
    bool m_showingWait = false;
    int m_successField = 0;
    std::vector<std::string> m_shownLines;
    QPushButton* m_cancelButton = nullptr;
};
