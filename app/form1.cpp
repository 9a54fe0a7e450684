#include "form1.h"

#include "about_box.h"
#include "app_info.h"
#include "app_state.h"
#include "builtin_pages.h"
#include "engines_list.h"
#include "fedita.h"
#include "form_capture.h"
#include "fpref.h"
#include "fsearch.h"
#include "http_clients.h"
#include "memo_lines.h"
#include "registry_keys.h"
#include "submission_log.h"
#include "submission_run.h"
#include "tool_strip.h"
#include "window_setup.h"

#include "controls/string_holder.h"
#include "dbf/dataset/tz_dbf.h"
#include "dbf/dbf_engine.h"
#include "html/viewer/html_viewer.h"
#include "html/viewer/url_to_local_path.h"
#include "net/http_cli.h"
#include "platform/ansi.h"
#include "platform/application.h"
#include "platform/exception.h"
#include "platform/message_box.h"
#include "platform/program_folder.h"
#include "platform/registry_store.h"
#include "platform/shell.h"
#include "platform/temp_file.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTextCursor>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr int kToolBarHeight = 57;
constexpr int kToolButtonWidth = 64;
constexpr int kToolButtonHeight = 54;
constexpr int kRuleHeight = 2;
constexpr int kSplitterWidth = 4;
constexpr int kBottomPanelHeight = 60;
constexpr int kCaptionStripHeight = 17;
constexpr int kHistoryEntries = 6;
// A History menu entry shows at most this much of an address.
constexpr int kHistoryCaptionLength = 80;
constexpr int kImageCacheCount = 5;

constexpr const char* kConfirmCaption = "Confirm";
// The shell reports a failure to start the e-mail program this way.
constexpr const char* kNoMailProgram =
    "The E-mail program is not working or there isn't a system default E-mail program";

// The application title as the window caption shows it: "&&" (a literal
// ampersand in menu-style text) reads as one "&".
QString applicationTitle()
{
    QString title = QApplication::applicationDisplayName();
    if (title.isEmpty())
        title = app::kApplicationTitle;
    return title.replace("&&", "&");
}

QString fromException(const std::exception& error)
{
    return QString::fromLocal8Bit(error.what());
}

} // namespace

TForm1::TForm1(QString page, QWidget* parent)
    : QMainWindow(parent), m_state(std::make_unique<app::AppState>()),
      siteAddress(m_state->siteAddress), submissionOpen(m_state->submissionOpen),
      cancelRequested(m_state->cancelRequested), m_page(std::move(page))
{
    FormCreate();
}

// The shared state goes with the window; a window destroyed without being
// closed still leaves no temporary file behind.
TForm1::~TForm1()
{
    TTzODbf::setHaltReporter(m_previousHaltReporter);
}

void TForm1::installHaltReporter()
{
    m_previousHaltReporter = dbf::DbfEngine::global().haltReporter();
    TTzODbf::setHaltReporter(
        [this](int code, const std::string& text) { tableHalted(code, text); });
}

void TForm1::tableHalted(int code, const std::string& text)
{
    MessageBox::error(this, "Program halted.", platform::fromAnsi(text));
    // The program ends here; edits of the engines list need not go with it.
    if (m_state->enginesModified &&
        MessageBox::question(this, kConfirmCaption,
                             "Do you want to save " + m_state->enginesFileName + "?")) {
        try {
            saveEnginesList();
        } catch (const std::exception& error) {
            MessageBox::error(this, applicationTitle(), fromException(error));
        }
    }
    m_state->removeTempFile();
    endProgram(code);
}

const QString& TForm1::enginesFileName() const
{
    return m_state->enginesFileName;
}

bool TForm1::enginesModified() const
{
    return m_state->enginesModified;
}

const QString& TForm1::tempFileName() const
{
    return m_state->tempFileName();
}

const QString& TForm1::logFileName() const
{
    return m_state->logFileName();
}

app::HttpClients& TForm1::httpClients() const
{
    return m_state->clients();
}

TTzDbf& TForm1::log() const
{
    return m_state->log();
}

void TForm1::FormCreate()
{
    createHolders();
    installHaltReporter();

    httpClients().setOnRequestDone([this](THttpCli* sender, THttpRequest rqType, uint16_t error) {
        agHTTPxRequestDone(sender, rqType, error);
    });
    readpreferences();
    setWindowTitle(applicationTitle());
    setWindowIcon(app::programIcon());

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(createToolBar());

    auto* rule = new QFrame(central);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    rule->setFixedHeight(kRuleHeight);
    layout->addWidget(rule);

    m_splitter = new QSplitter(Qt::Vertical, central);
    m_splitter->setObjectName("Splitter1");
    m_splitter->setHandleWidth(kSplitterWidth);
    m_splitter->setChildrenCollapsible(false);
    createViewer();
    m_splitter->addWidget(m_visor);
    m_splitter->addWidget(createBottomPanel());
    m_splitter->setStretchFactor(0, 1);
    m_splitter->setStretchFactor(1, 0);
    layout->addWidget(m_splitter, 1);
    setCentralWidget(central);

    createMenus();
    loadStartupEngines();
    app::sizeToScreen(*this);
    // Files dropped from the desktop land on the window (the viewer takes
    // none itself, so drops on the page come here too).
    setAcceptDrops(true);
}

void TForm1::createViewer()
{
    m_visor = new THTMLViewer(m_splitter);
    app::applyViewerLook(*m_visor);
    m_visor->setImageCacheCount(kImageCacheCount);
    m_visor->setHistoryMaxCount(kHistoryEntries);
    m_visor->sethtOptions(htOverLinksActive);
    m_visor->setViewerCursor(Qt::IBeamCursor);
    m_visor->OnHistoryChange = [this](THTMLViewer*) { HistoryChange(); };
    m_visor->OnProcessing = [this](THTMLViewer*, bool on) { ProcessingHandler(on); };
    m_visor->OnHotSpotClick = [this](THTMLViewer*, const std::string& src, bool& handled) {
        visorHotSpotClick(src, handled);
    };
    createContextMenu();
}

void TForm1::createHolders()
{
    m_h1 = new TStringHolder(app::helpPage(), this);
    m_h1->setObjectName("h1");
    m_h2 = new TStringHolder(app::addingEnginesPage(), this);
    m_h2->setObjectName("h2");
    m_h3 = new TStringHolder(app::licensePage(), this);
    m_h3->setObjectName("h3");
    m_engines = new TStringHolder(app::defaultEngineLines(), this);
    m_engines->setObjectName("engines");
}

QWidget* TForm1::createToolBar()
{
    auto [bar, row] = app::createGradientBar(this, "ToolBar", kToolBarHeight, {2, 1, 2, 1});
    row->setSpacing(2);
    auto button = [&](const char* caption, const char* picture, std::function<void()> onClick) {
        app::ToolButtonDesign design;
        design.caption = caption;
        design.hint = caption;
        design.picture = picture;
        design.width = kToolButtonWidth;
        design.height = kToolButtonHeight;
        QWidget* made = app::createToolButton(bar, design, std::move(onClick));
        row->addWidget(made);
        return made;
    };
    button("Edit/Create profile", "profile", [this] { openprofile(); });
    m_submitButton = button("Submit", "submit", [this] { Submit1Click(); });
    m_downloadButton = button("Download URL", "download", [this] { downloadurl(); });
    m_openLocalButton = button("Open Local URL", "open-local", [this] { Open1Click(); });
    row->addStretch(1);
    return bar;
}

QWidget* TForm1::createBottomPanel()
{
    auto* panel = new QWidget(m_splitter);
    panel->setObjectName("BottomPanel");
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto [strip, stripRow] =
        app::createGradientBar(panel, "EnginesCaptionStrip", kCaptionStripHeight, {4, 0, 4, 0});
    m_enginesCaption = new QLabel("Engines List", strip);
    m_enginesCaption->setObjectName("EnginesCaption");
    stripRow->addWidget(m_enginesCaption);
    column->addWidget(strip);

    m_memo1 = new QPlainTextEdit(panel);
    m_memo1->setObjectName("Memo1");
    m_memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Small enough for the panel's starting height with both scroll bars.
    m_memo1->setMinimumHeight(kBottomPanelHeight - kCaptionStripHeight);
    // A tab inside an engine line would break it; Tab moves on instead.
    m_memo1->setTabChangesFocus(true);
    connect(m_memo1, &QPlainTextEdit::textChanged, this, &TForm1::Memo1Change);
    column->addWidget(m_memo1, 1);
    return panel;
}

void TForm1::createMenus()
{
    // Every menu of the bar has an Alt letter.
    QMenu* file = menuBar()->addMenu("&File");
    QMenu* url = file->addMenu("URL");
    m_openLocal = url->addAction("Open Local...", this, [this] { Open1Click(); });
    m_openLocal->setShortcut(QKeySequence("Ctrl+O"));
    m_download = url->addAction("Download...", this, [this] { downloadurl(); });
    m_download->setShortcut(QKeySequence("Ctrl+D"));
    file->addSeparator();
    file->addAction("Edit/Create profile", this, [this] { openprofile(); });
    file->addSeparator();
    QMenu* engines = file->addMenu("Engines List");
    engines->addAction("Open...", this, [this] { Loadoptionsenginesfiles1Click(); });
    engines->addAction("Save", this, [this] { Saveengines1Click(); });
    engines->addAction("Save As...", this, [this] { SaveEnginesAs1Click(); });
    file->addSeparator();
    m_submit = file->addAction("Submit", this, [this] { Submit1Click(); });
    m_submit->setShortcut(QKeySequence("Ctrl+T"));
    file->addSeparator();
    m_programOptions = file->addAction("Program Options", this, [this] { ProgramOptions1Click(); });
    file->addSeparator();
    file->addAction("&Exit", this, [this] { Exit1Click(); });

    m_historyMenu = menuBar()->addMenu("&History");
    for (int i = 0; i < kHistoryEntries; ++i) {
        QAction* entry = m_historyMenu->addAction("XX", this, [this, i] { HistoryClick(i); });
        entry->setData(i);
        entry->setCheckable(true);
        entry->setVisible(false);
        m_historyItems[static_cast<size_t>(i)] = entry;
    }
    // The menu shows once the viewer has a history to offer.
    m_historyMenu->menuAction()->setVisible(false);

    QMenu* help = menuBar()->addMenu("&Help");
    QAction* contents = help->addAction("Contents", this, [this] { Help1Click(); });
    contents->setShortcut(QKeySequence(Qt::Key_F1));
    help->addSeparator();
    help->addAction("About...", this, [this] { About1Click(); });

    // Back and forward through the viewer's history, as in a browser.
    auto* back = new QAction("Back", this);
    back->setShortcuts({QKeySequence(Qt::ALT | Qt::Key_Left), QKeySequence::Back});
    connect(back, &QAction::triggered, this, [this] { historyStep(-1); });
    addAction(back);
    auto* forward = new QAction("Forward", this);
    forward->setShortcuts({QKeySequence(Qt::ALT | Qt::Key_Right), QKeySequence::Forward});
    connect(forward, &QAction::triggered, this, [this] { historyStep(+1); });
    addAction(forward);
}

void TForm1::historyStep(int step)
{
    // Index 0 is the newest page; going back means a higher index.
    const int target = m_visor->HistoryIndex() - step;
    if (target >= 0 && target < m_visor->History().size())
        m_visor->setHistoryIndex(target);
}

FileDialog::Options TForm1::profileDialogOptions(const QString& title, MissingProfile missing)
{
    FileDialog::Options options = app::programFolderDialog(title, "Profiles (*.ini)", "ini");
    options.mustExist = true;
    options.promptCreate = missing == MissingProfile::OfferToCreate;
    return options;
}

// --- Engines list -------------------------------------------------------

std::vector<std::string> TForm1::enginesLines() const
{
    return app::memoLines(m_memo1);
}

void TForm1::appendEngineLine(const std::string& line)
{
    // The new line goes right after the last one: a box whose last line was
    // ended with Enter gets no empty line in between.
    QString text = m_memo1->toPlainText();
    QString prefix = text.isEmpty() || text.endsWith('\n') ? QString() : QString('\n');
    QTextCursor end(m_memo1->document());
    end.movePosition(QTextCursor::End);
    end.insertText(prefix + platform::fromAnsi(line));
}

void TForm1::setEnginesLines(const std::vector<std::string>& lines)
{
    app::setMemoLines(m_memo1, lines);
}

void TForm1::showEnginesCaption()
{
    m_enginesCaption->setText("Engines List [" + m_state->enginesFileName + "]");
}

void TForm1::loadStartupEngines()
{
    m_state->enginesFileName = app::defaultEnginesFilePath();
    const std::vector<std::string>& defaults = m_engines->Strings();
    try {
        setEnginesLines(app::loadStartupEngines(m_state->enginesFileName, defaults));
    } catch (const std::exception& error) {
        // The window still opens; a missing list shows the defaults that
        // could not be written, an unreadable one leaves the box empty.
        Application::showException(fromException(error));
        if (!QFileInfo::exists(m_state->enginesFileName))
            setEnginesLines(defaults);
    }
    showEnginesCaption();
    m_state->enginesModified = false;
}

void TForm1::Memo1Change()
{
    m_state->enginesModified = true;
}

void TForm1::Loadoptionsenginesfiles1Click()
{
    FileDialog::Options options = app::programFolderDialog(
        "Loading Optional Engines file", "Text files (*.txt);;All files (*)", "txt");
    options.mustExist = true;
    QString path = FileDialog::open(this, options);
    if (path.isEmpty())
        return;
    // Read before touching anything, so a failed read leaves the list as it
    // was. Loading counts as a change of the box.
    std::vector<std::string> lines = app::readEnginesFile(path);
    setEnginesLines(lines);
    m_state->enginesFileName = path;
    showEnginesCaption();
}

void TForm1::Saveengines1Click()
{
    if (!MessageBox::question(this, kConfirmCaption,
                              "Do you want to save " + m_state->enginesFileName + "?"))
        return;
    saveEnginesList();
}

void TForm1::saveEnginesList()
{
    app::saveEnginesFile(m_state->enginesFileName, enginesLines());
    m_state->enginesModified = false;
}

void TForm1::SaveEnginesAs1Click()
{
    const FileDialog::Options options =
        app::programFolderDialog("Saving Engines file", "Engines files (*.txt)", "txt");
    QString path = FileDialog::save(this, options);
    if (path.isEmpty())
        return;
    app::saveEnginesFile(path, enginesLines());
    m_state->enginesFileName = path;
    m_state->enginesModified = false;
    showEnginesCaption();
}

// --- Commands -----------------------------------------------------------

void TForm1::Exit1Click()
{
    close();
}

void TForm1::openprofile()
{
    QString path = FileDialog::open(
        this, profileDialogOptions("Edit/Create profile", MissingProfile::OfferToCreate));
    if (path.isEmpty())
        return;
    Tfedita editor(this);
    if (editor.openChosen(path))
        editor.exec();
}

void TForm1::Submit1Click()
{
    // A run reads the list file, so a changed list is offered for saving
    // first.
    if (m_state->enginesModified)
        Saveengines1Click();
    Tfsearch window(*m_state, this);
    window.OnExec = [this](const std::string& address) { exec(address); };
    m_fsearch = &window;
    if (window.FormCreate())
        window.exec();
    m_fsearch = nullptr;
}

THttpCli& TForm1::agHTTP1() const
{
    return httpClients().agHTTP1();
}

void TForm1::readpreferences()
{
    RegistryStore store;
    httpClients().readpreferences(store);
}

void TForm1::savepreferences()
{
    RegistryStore store;
    const QString key = app::kPreferencesKey;
    const THttpCli& first = agHTTP1();
    app::writeRegKey(store, key, "Proxy", platform::fromAnsi(first.Proxy()));
    app::writeRegKey(store, key, "ProxyPassword", platform::fromAnsi(first.ProxyPassword()));
    app::writeRegKey(store, key, "DefaultPort", platform::fromAnsi(first.ProxyPort()));
    app::writeRegKey(store, key, "ProxyUserName", platform::fromAnsi(first.ProxyUsername()));
    app::writeRegKey(store, key, app::kRequestTimeoutValue,
                     QString::number(first.RequestTimeout()));
}

void TForm1::ProgramOptions1Click()
{
    TFPref dialog(this);
    dialog.FormCreate(agHTTP1());
    if (dialog.exec() != QDialog::Accepted)
        return;
    const std::string proxy = platform::toAnsi(dialog.ProxyEdit->text());
    const std::string password = platform::toAnsi(dialog.pas->text());
    const std::string userName = platform::toAnsi(dialog.un->text());
    const std::string port = platform::toAnsi(dialog.PortEdit->text());
    const int timeout = app::requestTimeoutSeconds(dialog.TimeoutEdit->text());
    for (int i = 0; i < app::HttpClients::kCount; ++i)
        app::HttpClients::configureHTTP(httpClients().client(i), proxy, password, userName, port,
                                        timeout);
    savepreferences();
}

void TForm1::agHTTPxRequestDone(THttpCli*, THttpRequest, uint16_t)
{
    // Downloads of the main window use agHTTP1 too; they are never logged.
    // A submission window binds the clients to its own run while it is open.
}

void TForm1::exec(const std::string& address)
{
    const QString target = platform::fromAnsi(address);
    const bool opened = platform::shellOpen(target);
    if (!opened && target.contains("mailto"))
        MessageBox::error(this, applicationTitle(), kNoMailProgram);
}

void TForm1::Help1Click()
{
    // Built-in pages come from lines of text and leave the history alone.
    m_visor->LoadStrings(m_h1->Strings());
}

void TForm1::visorHotSpotClick(const std::string& SRC, bool& Handled)
{
    Handled = true;
    if (SRC == app::kWebSite || SRC == std::string("mailto:") + app::kContactAddress) {
        exec(SRC);
    } else if (SRC == app::kAddingEnginesPage) {
        m_visor->LoadStrings(m_h2->Strings());
    } else if (SRC == app::kLicensePage) {
        m_visor->LoadStrings(m_h3->Strings());
    } else if (app::isWebAddress(SRC)) {
        LoadClick(SRC);
    } else {
        Handled = false;
    }
}

void TForm1::About1Click()
{
    TAboutBox box(this);
    box.exec();
}

void TForm1::HistoryClick(int tag)
{
    m_visor->setHistoryIndex(tag);
}

void TForm1::HistoryChange()
{
    const QStringList& history = m_visor->History();
    const std::vector<std::string>& titles = m_visor->TitleHistory();
    m_historyMenu->menuAction()->setVisible(!history.isEmpty());
    for (int i = 0; i < kHistoryEntries; ++i) {
        QAction* entry = m_historyItems[static_cast<size_t>(i)];
        if (i >= history.size()) {
            entry->setVisible(false);
            continue;
        }
        QString caption = history[i].left(kHistoryCaptionLength);
        const size_t index = static_cast<size_t>(i);
        if (index < titles.size() && !titles[index].empty())
            caption += "--" + platform::fromAnsi(titles[index]);
        // A "&" of an address or title is text, not a menu accelerator.
        entry->setText(caption.replace('&', "&&"));
        entry->setChecked(i == m_visor->HistoryIndex());
        entry->setVisible(true);
    }
    setWindowTitle(platform::fromAnsi(m_visor->DocumentTitle()));
    m_visor->setFocus();
}

void TForm1::ProcessingHandler(bool ProcessingOn)
{
    // A page opened while the viewer is still busy with one would be lost.
    m_openLocal->setEnabled(!ProcessingOn);
    m_openLocalButton->setEnabled(!ProcessingOn);
    if (!ProcessingOn)
        prepareFormFields();
}

void TForm1::showFile(const QString& path)
{
    try {
        m_visor->LoadFromFile(path);
    } catch (const std::exception& error) {
        Application::showException(fromException(error));
    }
}

void TForm1::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event)
{
    const QList<QUrl> files = event->mimeData()->urls();
    event->acceptProposedAction();
    dropFiles(files);
}

void TForm1::dropFiles(const QList<QUrl>& files)
{
    // Only the first file is shown; a drop of several is no list to walk.
    if (files.isEmpty())
        return;
    const QString name = files.first().toLocalFile();
    if (!name.isEmpty())
        showFile(name);
}

// --- Showing and closing ------------------------------------------------

void TForm1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        // The splitter knows its height only now; the bottom panel starts
        // at its own height and the viewer takes the rest.
        m_splitter->setSizes({m_splitter->height() - kBottomPanelHeight, kBottomPanelHeight});
        FormShow();
    }
}

void TForm1::FormShow()
{
    // The page named on the command line: a path or a "file://" address.
    if (!m_page.isEmpty())
        showFile(UrlToLocalPath(m_page));
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (stopDownloadForClose()) {
        event->ignore();
        return;
    }
    if (FormClose())
        event->accept();
    else
        event->ignore();
}

bool TForm1::FormClose()
{
    if (m_state->enginesModified) {
        try {
            switch (MessageBox::questionWithCancel(
                this, kConfirmCaption, "Do you want to save " + m_state->enginesFileName + "?")) {
            case MessageBox::Answer::Cancel:
                return false;
            case MessageBox::Answer::Yes:
                saveEnginesList();
                break;
            case MessageBox::Answer::No:
                break;
            }
        } catch (const std::exception& error) {
            // The list could not be written: stay open so that the user can
            // save it elsewhere instead of losing the changes.
            Application::showException(fromException(error));
            return false;
        }
    }
    m_state->removeTempFile();
    return true;
}
