#include "fedita.h"

#include "form1.h"
#include "http_clients.h"
#include "indexnow.h"
#include "memo_lines.h"
#include "profile.h"
#include "sitemap_import_dialog.h"
#include "tool_strip.h"
#include "wait_cursor.h"
#include "web_fetch.h"

#include "platform/ansi.h"
#include "platform/application.h"
#include "platform/file_dialog.h"
#include "platform/message_box.h"
#include "platform/program_folder.h"
#include "platform/registry_store.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QShortcut>
#include <QTextCursor>

namespace {

constexpr int kWidth = 409;
constexpr int kHeight = 320;
// The edits span the window but for this much; the pages box takes the
// height but for this much.
constexpr int kEditWidthMargin = 15;
constexpr int kPagesHeightMargin = 172;

constexpr int kToolStripHeight = 40;
constexpr int kButtonWidth = 90;
constexpr int kPictureSize = 24;
constexpr int kLeft = 7;
constexpr int kLabelHeight = 16;
constexpr int kEditHeight = 22;
constexpr int kNameLabelTop = 46;
constexpr int kEmailLabelTop = 90;
constexpr int kPagesLabelTop = 134;
constexpr int kPagesTop = 150;

constexpr const char* kConfirmCaption = "Confirm";
constexpr const char* kImportCaption = "Import sitemap";
constexpr const char* kSitemapName = "/sitemap.xml";

} // namespace

Tfedita::Tfedita(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint)
{
    m_toolStrip = app::createGradientPanel(this);
    m_toolStrip->setObjectName("ToolStrip");
    auto* row = new QHBoxLayout(m_toolStrip);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(2);
    auto button = [&](const char* caption, const char* hint, const char* picture,
                      std::function<void()> onClick) {
        app::ToolButtonDesign design;
        design.caption = caption;
        design.hint = hint;
        design.picture = picture;
        design.side = app::PictureSide::Left;
        design.pictureSize = kPictureSize;
        design.width = kButtonWidth;
        design.height = kToolStripHeight - 4;
        row->addWidget(app::createToolButton(m_toolStrip, design, std::move(onClick)));
    };
    button("Open...", "Open", "open", [this] { Open1Click(); });
    button("Save", "", "save", [this] { savefile(); });
    button("Save As...", "Save As", "save-as", [this] { SaveAs1Click(); });
    button("Import sitemap...", "Import sitemap (Ctrl+I)", "download",
           [this] { ImportSitemapClick(); });
    auto* save = new QShortcut(QKeySequence::Save, this);
    connect(save, &QShortcut::activated, this, [this] { savefile(); });
    auto* import = new QShortcut(QKeySequence("Ctrl+I"), this);
    connect(import, &QShortcut::activated, this, [this] { ImportSitemapClick(); });
    row->addStretch(1);

    m_nameLabel = new QLabel("Name:", this);
    m_nombre = new QLineEdit(this);
    m_nombre->setObjectName("nombre");
    m_emailLabel = new QLabel("E-mail:", this);
    m_email = new QLineEdit(this);
    m_email->setObjectName("email");
    m_pagesLabel = new QLabel("Pages to be submitted:", this);
    m_pages = new QPlainTextEdit(this);
    m_pages->setObjectName("pages");
    m_pages->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_pages->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    connect(m_nombre, &QLineEdit::textChanged, this, &Tfedita::setmodi);
    connect(m_email, &QLineEdit::textChanged, this, &Tfedita::setmodi);
    connect(m_pages, &QPlainTextEdit::textChanged, this, &Tfedita::setmodi);

    resize(kWidth, kHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->geometry();
        move(area.x() + (area.width() - kWidth) / 2, area.y() + (area.height() - kHeight) / 2);
    }
    placeEdits();
}

void Tfedita::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    placeEdits();
}

void Tfedita::placeEdits()
{
    int editWidth = width() - kEditWidthMargin;
    m_toolStrip->setGeometry(0, 0, width(), kToolStripHeight);
    m_nameLabel->setGeometry(kLeft, kNameLabelTop, editWidth, kLabelHeight);
    m_nombre->setGeometry(kLeft, kNameLabelTop + kLabelHeight, editWidth, kEditHeight);
    m_emailLabel->setGeometry(kLeft, kEmailLabelTop, editWidth, kLabelHeight);
    m_email->setGeometry(kLeft, kEmailLabelTop + kLabelHeight, editWidth, kEditHeight);
    m_pagesLabel->setGeometry(kLeft, kPagesLabelTop, editWidth, kLabelHeight);
    m_pages->setGeometry(kLeft, kPagesTop, editWidth, std::max(0, height() - kPagesHeightMargin));
}

void Tfedita::setmodi()
{
    m_profileModified = true;
    m_unsaved = true;
}

void Tfedita::cargar(const QString& fileName)
{
    if (QFileInfo::exists(fileName)) {
        app::Profile profile = app::readProfile(fileName);
        m_email->setText(platform::fromAnsi(profile.email));
        m_nombre->setText(platform::fromAnsi(app::poneesp(profile.name)));
        m_profileLastDate = profile.lastDate;
        app::setMemoLines(m_pages, profile.pages);
    } else {
        m_email->clear();
        m_nombre->clear();
        m_profileLastDate.clear();
        m_pages->clear();
    }
    m_profileModified = false;
    m_unsaved = false;
    m_fileName = fileName;
    setWindowTitle(QFileInfo(fileName).fileName());
}

bool Tfedita::openChosen(const QString& chosen)
{
    const QString existing = app::existingProfileFor(chosen);
    if (!existing.isEmpty()) {
        cargar(existing);
        return true;
    }
    const QString created = app::profileSavePath(chosen);
    if (!MessageBox::question(this, kConfirmCaption,
                              QFileInfo(created).fileName() +
                                  " does not exist. Do you want to create it?"))
        return false;
    cargar(created);
    return true;
}

bool Tfedita::replaceAllowed(const QString& path)
{
    if (!QFileInfo::exists(path) ||
        QFileInfo(path).canonicalFilePath() == QFileInfo(m_fileName).canonicalFilePath())
        return true;
    return MessageBox::question(this, kConfirmCaption,
                                QFileInfo(path).fileName() +
                                    " already exists. Do you want to replace it?",
                                MessageBox::Default::No);
}

void Tfedita::savefile()
{
    if (m_fileName.isEmpty()) {
        SaveAs1Click();
        return;
    }
    // An existing file is saved under its own name; only a new one gets the
    // ".ini" rule, and a new name that meets another file asks first.
    QString target = m_fileName;
    if (!QFileInfo::exists(target)) {
        target = app::profileSavePath(target);
        if (!replaceAllowed(target))
            return;
    }
    writeTo(target);
}

void Tfedita::writeTo(const QString& path)
{
    app::Profile profile;
    profile.email = platform::toAnsi(m_email->text());
    profile.name = app::sacaesp(platform::toAnsi(m_nombre->text()));
    profile.lastDate = m_profileLastDate;
    for (const std::string& page : app::memoLines(m_pages))
        profile.pages.push_back(app::sacaesp(page));
    app::writeProfile(path, profile);
    m_fileName = path;
    setWindowTitle(QFileInfo(m_fileName).fileName());
    // What is on the disk now is what the editor shows (profileModified
    // itself stays set after a save).
    m_unsaved = false;
}

void Tfedita::SaveAs1Click()
{
    FileDialog::Options options;
    options.title = "Save As";
    options.filter = "Profiles (*.ini)";
    options.folder = platform::programFolder();
    options.fileName = QFileInfo(m_fileName).fileName();
    options.defaultSuffix = "ini";
    QString path = FileDialog::save(this, options);
    if (path.isEmpty())
        return;
    // A name typed in another letter case than an existing file's means that
    // file; a new one follows the ".ini" rule. The dialog has asked about
    // replacing the exact name it returned, not about the one it stands for.
    QString target = app::existingProfileFor(path);
    if (target.isEmpty())
        target = app::profileSavePath(path);
    if (target != path && !replaceAllowed(target))
        return;
    // A copy under a new name has not been submitted yet.
    const std::string lastDate = m_profileLastDate;
    m_profileLastDate.clear();
    try {
        writeTo(target);
    } catch (...) {
        m_profileLastDate = lastDate;
        throw;
    }
}

void Tfedita::reject()
{
    // The fetch of a sitemap runs inside the import: the editor stays until
    // it has ended.
    if (m_importing)
        return;
    if (m_unsaved) {
        switch (MessageBox::questionWithCancel(this, kConfirmCaption,
                                               "Do you want to save " + windowTitle() + "?")) {
        case MessageBox::Answer::Cancel:
            return;
        case MessageBox::Answer::Yes:
            // A save that fails shows its error and keeps the editor open;
            // so does a Save As that is cancelled.
            try {
                savefile();
            } catch (const std::exception& error) {
                Application::showException(QString::fromLocal8Bit(error.what()));
                return;
            }
            if (m_unsaved)
                return;
            break;
        case MessageBox::Answer::No:
            break;
        }
    }
    QDialog::reject();
}

void Tfedita::Open1Click()
{
    if (m_profileModified &&
        MessageBox::question(this, kConfirmCaption, "Do you want to save " + windowTitle() + "?"))
        savefile();
    m_profileModified = false;
    QString path =
        FileDialog::open(this, TForm1::profileDialogOptions("Edit/Create profile",
                                                            TForm1::MissingProfile::OfferToCreate));
    if (!path.isEmpty())
        openChosen(path);
}

// --- Sitemap import -----------------------------------------------------------------------

QString Tfedita::suggestedSitemap() const
{
    for (const std::string& page : app::memoLines(m_pages)) {
        const std::string host = app::pageHost(page);
        if (host.empty())
            continue;
        const std::string scheme = page.substr(0, page.find("://"));
        return platform::fromAnsi(scheme + "://" + host) + kSitemapName;
    }
    return "https://";
}

QDate Tfedita::lastRunDate() const
{
    return QDate::fromString(platform::fromAnsi(m_profileLastDate), app::shortDateFormat());
}

void Tfedita::ImportSitemapClick()
{
    if (m_importing)
        return;
    TSitemapImportDialog ask(suggestedSitemap(), lastRunDate(), this);
    if (ask.exec() != QDialog::Accepted || ask.source().empty())
        return;
    try {
        const app::SitemapImport result = importSitemap(ask.source(), ask.since());
        MessageBox::information(this, kImportCaption, QString::fromStdString(result.message()));
    } catch (const std::exception& error) {
        MessageBox::error(this, kImportCaption, QString::fromLocal8Bit(error.what()));
    }
}

app::SitemapImport Tfedita::importSitemap(const std::string& source, std::optional<QDate> since)
{
    std::vector<app::SitemapEntry> entries;
    {
        // Nothing of the editor may change while the sitemap is fetched: the
        // pages are merged into the list as it stands afterwards.
        m_importing = true;
        setEnabled(false);
        struct Restore {
            Tfedita* editor;
            ~Restore()
            {
                editor->m_importing = false;
                editor->setEnabled(true);
            }
        } restore{this};
        app::WaitCursor hourglass;
        RegistryStore store;
        app::HttpClients clients;
        clients.readpreferences(store);
        entries = app::readSitemap(source, app::clientFetcher(clients.agHTTP1()));
    }
    // The pages compare as they will be stored, so that a typed "a page"
    // meets the sitemap's "a%20page".
    std::vector<std::string> stored;
    for (const std::string& line : app::memoLines(m_pages))
        stored.push_back(app::sacaesp(line));
    const size_t known = stored.size();
    const app::SitemapImport result = app::mergeSitemapPages(stored, entries, since);
    if (stored.size() == known)
        return result;

    QString added;
    const QString shown = m_pages->toPlainText();
    if (!shown.isEmpty() && !shown.endsWith('\n'))
        added += '\n';
    for (size_t i = known; i < stored.size(); ++i) {
        added += platform::fromAnsi(stored[i]);
        if (i + 1 < stored.size())
            added += '\n';
    }
    QTextCursor cursor(m_pages->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(added);
    m_pages->setTextCursor(cursor);
    m_pages->ensureCursorVisible();
    return result;
}
