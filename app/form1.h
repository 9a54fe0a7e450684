#pragma once

#include "net/http_cli.h"
#include "platform/file_dialog.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <QMainWindow>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QSplitter;
class QUrl;
class THTMLViewer;
class TStringHolder;
class TTzDbf;
class Tfsearch;

namespace app {
class AppState;
class HttpClients;
} // namespace app

// The main window. It lives for the whole run and owns what the other
// windows share: the engines list box with its file, the built-in pages, the
// temporary file and the flags of a submission. Every other window is made
// by its command, shown modally and destroyed when it closes.
class TForm1 : public QMainWindow {
    Q_OBJECT
    // Made first: the shared fields below refer into it.
    std::unique_ptr<app::AppState> m_state;

public:
    // page: a file or file:// address from the command line, shown when the
    // window is first shown.
    explicit TForm1(QString page = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    // Shared state, kept in one object that a submission window works on.
    app::AppState& state() const { return *m_state; }
    const QString& enginesFileName() const;
    bool enginesModified() const;
    const QString& tempFileName() const;
    const QString& logFileName() const;
    std::string& siteAddress;
    bool& submissionOpen;
    bool& cancelRequested;

    // The engines list as it stands in the box.
    std::vector<std::string> enginesLines() const;
    // Adds a line at the end of the box; marks the list changed.
    void appendEngineLine(const std::string& line);

    TStringHolder* h1() const { return m_h1; }
    TStringHolder* h2() const { return m_h2; }
    TStringHolder* h3() const { return m_h3; }
    TStringHolder* engines() const { return m_engines; }

    // The viewer in the middle of the window: help, pages and captured forms.
    THTMLViewer* visor() const { return m_visor; }

    // The six HTTP clients agHTTP1 to agHTTP6 and the submission log.
    app::HttpClients& httpClients() const;
    THttpCli& agHTTP1() const;
    TTzDbf& log() const;
    // The submission window while one is open.
    Tfsearch* submissionWindow() const { return m_fsearch; }

    // The profile file dialog as every command sets it up: starting in the
    // program folder, with the given title.
    enum class MissingProfile { Refuse, OfferToCreate };
    static FileDialog::Options profileDialogOptions(const QString& title, MissingProfile missing);

    // Command handlers.
    void Exit1Click();
    void openprofile();
    void Submit1Click();
    void Loadoptionsenginesfiles1Click();
    void Saveengines1Click();
    void SaveEnginesAs1Click();
    void Memo1Change();
    void Help1Click();
    void About1Click();
    // A link in the main viewer was clicked: the help page's own links show
    // the built-in pages or go to the desktop; other links are the viewer's.
    void visorHotSpotClick(const std::string& SRC, bool& Handled);
    // Shows the History menu entry with this tag.
    void HistoryClick(int tag);
    // The viewer's history changed: the History menu and the caption follow.
    void HistoryChange();
    // The viewer starts or ends working on a document.
    void ProcessingHandler(bool ProcessingOn);
    // Files dropped on the window: the first one is shown.
    void dropFiles(const QList<QUrl>& files);

    // Request done of any of the six clients while no submission window
    // receives them (an open submission window binds them to its run):
    // page downloads of the main window, which are never logged.
    void agHTTPxRequestDone(THttpCli* sender, THttpRequest rqType, uint16_t error);
    // Opens an address with the desktop's programs.
    void exec(const std::string& address);

    // Pages in the viewer. "Download URL": asks for an address, keeps it as
    // siteAddress and downloads it unless it is empty or only a scheme.
    void downloadurl();
    // Downloads the address through agHTTP1 into the temporary file and
    // shows it; a failure shows the standard error box and the viewer keeps
    // its page.
    void LoadClick(const std::string& Address);
    // "Open Local URL": shows a page chosen from disk.
    void Open1Click();

    // Form capture. The viewer's context menu and the link box.
    QMenu* PopupMenu() const { return m_popupMenu; }
    QLineEdit* eurl() const { return m_eurl; }
    // The context menu opens: its items follow the viewer's state.
    void PopupMenuPopup();
    // "URL", "E-Mail", "Name": the focused field of the page's form gets
    // "##" + the item's name.
    void urlClick(QAction* Sender);
    void CopyURL1Click();
    void Copy1Click();
    // "Back" and "Forward": one step through the viewer's history.
    void BackButtonClick(QAction* Sender);
    // The link under the pointer changed (empty when it left the links).
    void visorHotSpotCovered(const std::string& SRC);
    // The page's form was submitted: it becomes a new engine line instead.
    void SubmitEvent(const std::string& Action, const std::string& Target,
                     const std::string& EncType, const std::string& Method,
                     std::vector<std::string> Results);
    // Reads the proxy settings from the registry into the six clients.
    void readpreferences();
    // Writes agHTTP1's proxy settings to the registry.
    void savepreferences();
    // "Program Options": edits the proxy settings of all six clients.
    void ProgramOptions1Click();

    // A failure of the table engine that nobody handles: the "Program
    // halted." box with the engine's text, the offer to save a changed
    // engines list, then the end of the program with the code.
    void tableHalted(int code, const std::string& text);
    // How the program ends after tableHalted; tests replace it.
    static inline std::function<void(int code)> endProgram = [](int code) { std::exit(code); };

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void FormCreate();
    void installHaltReporter();
    void FormShow();
    bool FormClose();

    void createHolders();
    QWidget* createToolBar();
    QWidget* createBottomPanel();
    void createMenus();
    void createViewer();
    // Loads a file into the viewer; a failure shows the standard error box.
    void showFile(const QString& path);
    void createContextMenu();
    // Closing while LoadClick waits for a page: stops the download and lets
    // LoadClick close the window once it has ended. False when no download
    // runs.
    bool stopDownloadForClose();
    // Lets the fields of a newly shown form take the capture keys and menu.
    void prepareFormFields();
    void loadStartupEngines();
    // Writes a sorted copy of the box to the list file, without asking.
    void saveEnginesList();
    // Moves through the viewer's history: -1 back, +1 forward.
    void historyStep(int step);
    void setEnginesLines(const std::vector<std::string>& lines);
    void showEnginesCaption();

    QString m_page;
    bool m_shown = false;
    // LoadClick is waiting for a page, and a close came meanwhile.
    bool m_downloading = false;
    bool m_closeAfterDownload = false;

    Tfsearch* m_fsearch = nullptr;

    TStringHolder* m_h1 = nullptr;
    TStringHolder* m_h2 = nullptr;
    TStringHolder* m_h3 = nullptr;
    TStringHolder* m_engines = nullptr;

    THTMLViewer* m_visor = nullptr;
    QSplitter* m_splitter = nullptr;
    QLabel* m_enginesCaption = nullptr;
    QPlainTextEdit* m_memo1 = nullptr;
    QWidget* m_submitButton = nullptr;
    QWidget* m_downloadButton = nullptr;
    QWidget* m_openLocalButton = nullptr;

    QMenu* m_historyMenu = nullptr;
    std::array<QAction*, 6> m_historyItems{};
    QAction* m_submit = nullptr;
    QAction* m_download = nullptr;
    QAction* m_openLocal = nullptr;
    QAction* m_programOptions = nullptr;
    // The engine's reporter before this window put its own in place.
    std::function<void(int, const std::string&)> m_previousHaltReporter;

    QMenu* m_popupMenu = nullptr;
    QAction* m_copyUrl = nullptr;
    QAction* m_copy = nullptr;
    QAction* m_backButton = nullptr;
    QAction* m_forwardButton = nullptr;
    QLineEdit* m_eurl = nullptr;
    QObject* m_fieldKeys = nullptr;
};
