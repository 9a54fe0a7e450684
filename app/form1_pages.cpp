// The main window's page commands: downloading a page, opening one from
// disk, and capturing the form of the page shown as a new engine line
// through the viewer's context menu.
#include "form1.h"

#include "form_capture.h"
#include "page_download.h"
#include "wait_cursor.h"
#include "window_setup.h"

#include "base/ascii.h"
#include "html/document/form_control_obj.h"
#include "html/viewer/html_viewer.h"
#include "platform/ansi.h"
#include "platform/application.h"
#include "platform/input_box.h"
#include "platform/message_box.h"
#include "platform/program_folder.h"

#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextCursor>

namespace {

constexpr const char* kDownloadCaption = "Download URL";
constexpr const char* kDownloadPrompt = "Type URL";
constexpr const char* kDownloadDefault = "http://";
constexpr const char* kNoFormField = "No form field available";
constexpr const char* kPlaceholderPrefix = "##";

// The marking keys. A single-line edit and a text area take Ctrl+U and
// Ctrl+E as editing keys of their own (delete to the start of the line, go
// to its end); in a field of the page the marking comes first.
const QKeySequence kUrlKey("Ctrl+U");
const QKeySequence kEmailKey("Ctrl+E");
const QKeySequence kNameKey("Ctrl+N");

bool isEditField(QWidget* control)
{
    return qobject_cast<QLineEdit*>(control) || qobject_cast<QPlainTextEdit*>(control);
}

// Installed on the edit fields of the page's forms: the marking keys are
// left to the window's shortcuts instead of the field's editing keys.
class MarkingKeys : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ShortcutOverride) {
            auto* key = static_cast<QKeyEvent*>(event);
            const QKeySequence pressed(key->keyCombination());
            if (pressed == kUrlKey || pressed == kEmailKey || pressed == kNameKey) {
                event->ignore();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

void replaceFieldText(QWidget* control, const QString& text)
{
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        edit->setText(text);
    else if (auto* area = qobject_cast<QPlainTextEdit*>(control))
        area->setPlainText(text);
}

} // namespace

// --- Download and local open --------------------------------------------

void TForm1::downloadurl()
{
    const QString typed = InputBox::ask(this, kDownloadCaption, kDownloadPrompt, kDownloadDefault);
    siteAddress = platform::toAnsi(typed);
    const std::string address = base::trimmedRightSpaces(siteAddress);
    // A scheme alone names no page.
    if (address.empty() || address == "http://" || address == "https://")
        return;
    LoadClick(siteAddress);
}

void TForm1::LoadClick(const std::string& Address)
{
    if (base::trimmedRightSpaces(Address).empty())
        return;
    // The wait for the page runs the event loop, so the window may be asked
    // to close meanwhile (see stopDownloadForClose). A download asked for
    // inside another one fails at the busy client and leaves the outer one
    // in charge.
    const bool outer = !m_downloading;
    m_downloading = true;
    try {
        app::WaitCursor hourglass;
        const app::DownloadedPage page = app::downloadPage(agHTTP1(), Address, tempFileName());
        if (QFileInfo::exists(tempFileName())) {
            // The answer's Content-Type tells how the page is encoded.
            m_visor->LoadFromFile(tempFileName(), page.contentType);
            // Every download is shown from the same file, so the history
            // (and with it the caption) need not change.
            setWindowTitle(platform::fromAnsi(m_visor->DocumentTitle()));
        }
    } catch (const std::exception& error) {
        // A download stopped for closing is no failure to report.
        if (!m_closeAfterDownload)
            Application::showException(QString::fromLocal8Bit(error.what()));
    }
    if (!outer)
        return;
    m_downloading = false;
    if (m_closeAfterDownload) {
        m_closeAfterDownload = false;
        close();
    }
}

bool TForm1::stopDownloadForClose()
{
    if (!m_downloading)
        return false;
    // Leaving now would remove the temporary file under the download and
    // keep the program running, without a window, until the page came.
    m_closeAfterDownload = true;
    agHTTP1().Abort();
    return true;
}

void TForm1::Open1Click()
{
    FileDialog::Options options;
    options.title = "Open";
    options.filter = "html files (*.htm *.html);;all files (*)";
    options.defaultSuffix = "htm";
    options.mustExist = true;
    const QString current = m_visor->CurrentFile();
    options.folder =
        current.isEmpty() ? platform::programFolder() : QFileInfo(current).absolutePath();
    const QString path = FileDialog::open(this, options);
    if (path.isEmpty())
        return;
    showFile(path);
    setWindowTitle(platform::fromAnsi(m_visor->DocumentTitle()));
}

// --- Context menu and form capture --------------------------------------

void TForm1::createContextMenu()
{
    m_popupMenu = new QMenu(this);
    m_popupMenu->setObjectName("PopupMenu");
    // The marking items and Copy also work as keys while the focus is on the
    // page or in one of its fields.
    auto item = [this](const char* name, const char* caption, const QKeySequence& key) {
        QAction* action = m_popupMenu->addAction(caption);
        action->setObjectName(name);
        if (!key.isEmpty()) {
            action->setShortcut(key);
            action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
            m_visor->addAction(action);
        }
        return action;
    };
    for (auto [name, caption, key] :
         {std::tuple{"url", "URL", kUrlKey}, std::tuple{"email", "E-Mail", kEmailKey},
          std::tuple{"name", "Name", kNameKey}}) {
        QAction* mark = item(name, caption, key);
        connect(mark, &QAction::triggered, this, [this, mark] { urlClick(mark); });
    }
    m_popupMenu->addSeparator();
    m_copyUrl = item("CopyURL1", "Copy URL", {});
    connect(m_copyUrl, &QAction::triggered, this, [this] { CopyURL1Click(); });
    m_copy = item("Copy1", "Copy", QKeySequence("Ctrl+C"));
    connect(m_copy, &QAction::triggered, this, [this] { Copy1Click(); });
    m_popupMenu->addSeparator();
    m_backButton = item("backbutton", "Back", {});
    m_forwardButton = item("Forwardbutton", "Forward", {});
    for (QAction* step : {m_backButton, m_forwardButton})
        connect(step, &QAction::triggered, this, [this, step] { BackButtonClick(step); });
    connect(m_popupMenu, &QMenu::aboutToShow, this, [this] { PopupMenuPopup(); });
    m_visor->setPopupMenu(m_popupMenu);

    m_eurl = new QLineEdit(this);
    m_eurl->setObjectName("eurl");
    m_eurl->setVisible(false);
    m_fieldKeys = new MarkingKeys(this);

    m_visor->OnHotSpotCovered = [this](THTMLViewer*, const std::string& src) {
        visorHotSpotCovered(src);
    };
    m_visor->OnFormSubmit = [this](THTMLViewer*, const std::string& action,
                                   const std::string& target, const std::string& encType,
                                   const std::string& method, std::vector<std::string> results) {
        SubmitEvent(action, target, encType, method, std::move(results));
    };
}

void TForm1::prepareFormFields()
{
    for (TFormControlObj* control : m_visor->FormControlList()) {
        QWidget* field = control->WindowControl();
        if (!field || !isEditField(field))
            continue;
        // A right click on a field opens the page's menu (the field's own
        // editing menu would hide the marking items).
        field->setContextMenuPolicy(Qt::NoContextMenu);
        field->installEventFilter(m_fieldKeys);
    }
}

void TForm1::PopupMenuPopup()
{
    const int index = m_visor->HistoryIndex();
    m_forwardButton->setEnabled(index > 0);
    m_backButton->setEnabled(index < m_visor->History().size() - 1);
    m_copy->setEnabled(m_visor->SelLength() != 0);
    m_copyUrl->setEnabled(!m_eurl->text().isEmpty());
}

void TForm1::urlClick(QAction* Sender)
{
    QWidget* focused = focusWidget();
    if (!focused) {
        MessageBox::error(this, QApplication::applicationDisplayName(), kNoFormField);
        return;
    }
    const QString placeholder = kPlaceholderPrefix + Sender->objectName();
    for (TFormControlObj* control : m_visor->FormControlList()) {
        QWidget* field = control->WindowControl();
        if (!field || !isEditField(field))
            continue;
        if (field == focused || field->isAncestorOf(focused)) {
            replaceFieldText(field, placeholder);
            return;
        }
    }
}

void TForm1::CopyURL1Click()
{
    m_eurl->selectAll();
    m_eurl->copy();
}

void TForm1::Copy1Click()
{
    m_visor->CopyToClipboard();
}

void TForm1::BackButtonClick(QAction* Sender)
{
    const int step = Sender == m_backButton ? 1 : -1;
    m_visor->setHistoryIndex(m_visor->HistoryIndex() + step);
}

void TForm1::visorHotSpotCovered(const std::string& SRC)
{
    const QString address = platform::fromAnsi(SRC);
    m_eurl->setText(address);
    m_visor->setToolTip(address);
}

void TForm1::SubmitEvent(const std::string& Action, const std::string&, const std::string&,
                         const std::string& Method, std::vector<std::string> Results)
{
    // Nothing is sent and the viewer stays on the page: the form only
    // tells what the new engine line is.
    const app::SubmittedForm form{Action, Method, std::move(Results)};
    appendEngineLine(app::captureEngineLine(form, siteAddress));
    // The new line is the answer to the press: it shows at the bottom of the
    // list, at its start.
    m_memo1->moveCursor(QTextCursor::End);
    m_memo1->moveCursor(QTextCursor::StartOfLine);
    m_memo1->ensureCursorVisible();
}
