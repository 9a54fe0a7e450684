#include "setup/setup_dialog.h"

#include "setup/folder_picker.h"
#include "setup/install_steps.h"
#include "setup/message_box.h"
#include "setup/product.h"
#include "setup/product_icon.h"
#include "setup/setup_error.h"

#include <cstdio>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QtMath>

namespace setup {

namespace {

constexpr char kCaption[] = "Setup of QUORVane";
constexpr char kBrowseTitle[] = "Browsing";

// The dialog's size and font, in dialog units and points.
constexpr int kDialogWidth = 287;
constexpr int kDialogHeight = 110;
constexpr char kDialogFontFamily[] = "MS Sans Serif";
constexpr int kDialogFontPoints = 8;

// The title: bold Times New Roman of 22 points.
constexpr char kTitleFontFamily[] = "Times New Roman";
constexpr int kTitleFontPoints = 22;
constexpr int kPointsPerInch = 72;

// The picture keeps the size of a standard icon.
constexpr int kIconPixels = 32;

// Dialog units are a quarter of the font's average character width across
// and an eighth of its height down.
constexpr int kUnitsPerBaseX = 4;
constexpr int kUnitsPerBaseY = 8;

const QColor kBarColour(0, 0, 128);
// Space kept between the progress bar and the window's edges.
constexpr int kBarMargin = 10;

// a * b / c rounded to the nearest integer, halves upwards.
int mulDiv(int a, int b, int c)
{
    return (2 * a * b + c) / (2 * c);
}

// Families with the same metrics, used when the named one is not installed.
void registerFontSubstitutes()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    QFont::insertSubstitutions(kDialogFontFamily,
                               {"Microsoft Sans Serif", "Liberation Sans", "Arial"});
    QFont::insertSubstitutions(kTitleFontFamily, {"Liberation Serif", "Times"});
}

void showMessage(int id, const char* caption, MessageBox::Icon icon)
{
    MessageBox::show(caption, messageText(id), icon);
}

} // namespace

SetupDialog::SetupDialog(QString setupFolder, QString installPath, QWidget* parent)
    : QDialog(parent), m_setupFolder(std::move(setupFolder)), m_installPath(std::move(installPath))
{
    FreeSpaceProbe = freeSpace;
    registerFontSubstitutes();
    setObjectName("DIALOG_1");
    setWindowTitle(kCaption);
    setWindowIcon(productIcon());
    // A fixed frame with a caption and the close box, nothing more.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    QFont dialogFont(kDialogFontFamily);
    dialogFont.setPointSize(kDialogFontPoints);
    setFont(dialogFont);
    // The average character width over the alphabet and the character cell
    // height in whole pixels, rounded up so that no glyph is cut.
    const QFontMetricsF metrics(font());
    const qreal alphabet =
        metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    m_baseUnitX = (qRound(alphabet) / 26 + 1) / 2;
    m_baseUnitY = qCeil(metrics.height());

    createControls();
    // The progress bar is placed in pixels; a small dialog font must not
    // leave it outside the window.
    QSize size = dialogRect(0, 0, kDialogWidth, kDialogHeight).size();
    size = size.expandedTo(
        QSize(barOutline().right() + 1 + kBarMargin, barOutline().bottom() + 1 + kBarMargin));
    setFixedSize(size);
}

QRect SetupDialog::dialogRect(int x, int y, int width, int height) const
{
    return QRect(mulDiv(x, m_baseUnitX, kUnitsPerBaseX), mulDiv(y, m_baseUnitY, kUnitsPerBaseY),
                 mulDiv(width, m_baseUnitX, kUnitsPerBaseX),
                 mulDiv(height, m_baseUnitY, kUnitsPerBaseY));
}

void SetupDialog::createControls()
{
    auto place = [this](QWidget* widget, int id, QRect rect) {
        widget->setGeometry(rect);
        if (id != 0) {
            widget->setProperty("controlId", id);
            widget->setObjectName(QString("control%1").arg(id));
        }
    };

    m_title = new QLabel("Text", this);
    m_title->setWordWrap(true);
    m_title->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(m_title, kIdTitle, dialogRect(60, 9, 171, 27));

    m_icon = new QLabel(this);
    m_icon->setPixmap(productPixmap(kIconPixels));
    const QRect iconRect = dialogRect(18, 10, 18, 20);
    place(m_icon, 0, QRect(iconRect.topLeft(), QSize(kIconPixels, kIconPixels)));

    m_pathLabel = new QLabel("Default &Path:", this);
    place(m_pathLabel, kIdPathLabel, dialogRect(15, 44, 44, 8));

    m_path = new QLineEdit(this);
    m_pathLabel->setBuddy(m_path);
    place(m_path, kIdPath, dialogRect(61, 43, 169, 11));

    m_browse = new QPushButton("&Browse", this);
    m_browse->setAutoDefault(false);
    place(m_browse, kIdBrowse, dialogRect(237, 41, 40, 14));

    m_exit = new QPushButton("E&xit", this);
    m_exit->setAutoDefault(false);
    place(m_exit, kIdExit, dialogRect(95, 69, 40, 14));

    m_install = new QPushButton("&Install", this);
    m_install->setDefault(true);
    place(m_install, kIdInstall, dialogRect(151, 69, 40, 14));

    connect(m_browse, &QPushButton::clicked, this, &SetupDialog::browse);
    connect(m_exit, &QPushButton::clicked, this, &SetupDialog::reject);
    connect(m_install, &QPushButton::clicked, this, &SetupDialog::install);

    // What the dialog shows once it is set up.
    m_path->setText(m_installPath);
    m_title->setText(kProductTitle);
    QFont titleFont(kTitleFontFamily);
    titleFont.setBold(true);
    titleFont.setPixelSize(kTitleFontPoints * logicalDpiY() / kPointsPerInch);
    m_title->setFont(titleFont);
}

QWidget* SetupDialog::control(int id) const
{
    const QList<QWidget*> children = findChildren<QWidget*>();
    for (QWidget* child : children) {
        if (child->property("controlId").toInt() == id)
            return child;
    }
    return nullptr;
}

QRect SetupDialog::barOutline()
{
    return QRect(QPoint(99, 151), QPoint(330, 168));
}

void SetupDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_centred) {
        m_centred = true;
        centreOnScreen();
        m_install->setFocus();
    }
}

void SetupDialog::centreOnScreen()
{
    const QScreen* display = screen();
    if (!display)
        return;
    const QRect area = display->geometry();
    const QSize size = frameGeometry().size();
    move(area.x() + (area.width() - size.width()) / 2,
         area.y() + (area.height() - size.height()) / 2);
}

void SetupDialog::browse()
{
    const QString folder = FolderPicker::pick(this, kBrowseTitle, m_installPath);
    if (folder.isEmpty())
        return;
    m_installPath = joinFolder(folder, kProductFolder);
    m_path->setText(m_installPath);
}

void SetupDialog::reject()
{
    // The copy lets events through between files; leaving then would tear
    // the installation apart under the user's feet.
    if (m_busy)
        return;
    done(kEndCode);
}

void SetupDialog::setBusy(bool busy)
{
    m_busy = busy;
    for (QWidget* widget : {static_cast<QWidget*>(m_path), static_cast<QWidget*>(m_browse),
                            static_cast<QWidget*>(m_exit), static_cast<QWidget*>(m_install)})
        widget->setEnabled(!busy);
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void SetupDialog::install()
{
    if (m_busy)
        return;
    if (!firstMissingFile(m_setupFolder, filesToCopy()).isEmpty()) {
        showMessage(kMessageMissingFiles, "Warning", MessageBox::Icon::Warning);
        return;
    }
    const QString target = resolveFolder(m_path->text(), m_setupFolder);
    const qint64 free = FreeSpaceProbe ? FreeSpaceProbe(target) : -1;
    if (free > 0 && free < kMinimumFreeSpace) {
        showMessage(kMessageNoSpace, "Warning", MessageBox::Icon::Warning);
        return;
    }

    m_installing = true;
    setProgress(kProgressStart);
    setBusy(true);
    try {
        createFolder(target);
        copyFiles(target);
        setProgress(kProgressEnd);
        repaint();
        createShortcuts(target);
    } catch (const SetupError& error) {
        // The bar stays as far as it got; Install may be pressed again.
        setBusy(false);
        std::fprintf(stderr, "setup: %s\n", error.what());
        showMessage(kMessageFailed, "Error", MessageBox::Icon::Error);
        return;
    }
    setBusy(false);
    m_installing = false;
    m_installed = true;
    update();
    showMessage(kMessageSuccess, "Information", MessageBox::Icon::Information);
    done(kEndCode);
}

void SetupDialog::copyFiles(const QString& target)
{
    const QStringList files = filesToCopy();
    const int total = int(files.size());
    for (int done = 1; done <= total; ++done) {
        // Lets the bar repaint and the window move between files.
        QCoreApplication::processEvents();
        const QString& name = files[done - 1];
        copyFile(joinFolder(m_setupFolder, name), joinFolder(target, name));
        setProgress(progressAfter(done, total));
        repaint(barOutline());
    }
}

void SetupDialog::createShortcuts(const QString& target)
{
    const QStringList files = filesToLink();
    const QStringList names = shortcutNames();
    const QString applications = applicationsFolder();
    for (qsizetype i = 0; i < files.size(); ++i)
        createShortcut(joinFolder(target, files[i]), names[i], applications);
}

void SetupDialog::setProgress(int progress)
{
    if (progress == m_progress)
        return;
    m_progress = progress;
    if (OnProgress)
        OnProgress(this, progress);
}

void SetupDialog::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    if (!m_installing)
        return;
    QPainter painter(this);
    const QRect outline = barOutline();
    painter.setPen(Qt::black);
    painter.setBrush(Qt::white);
    // A stroked rectangle covers one pixel more than its size each way.
    painter.drawRect(outline.adjusted(0, 0, -1, -1));
    const QRect inside = outline.adjusted(1, 1, -1, -1);
    painter.fillRect(QRect(inside.topLeft(), QPoint(m_progress - 1, inside.bottom())), kBarColour);
}

} // namespace setup
