#include "html/viewer/html_viewer.h"

#include "html/common/text_util.h"
#include "html/document/form_control_obj.h"
#include "html/document/html_form.h"
#include "html/document/image_obj.h"
#include "html/document/section.h"
#include "html/document/section_list.h"
#include "html/document/url_target.h"
#include "html/images/builtin_bitmaps.h"
#include "html/images/gif_animation.h"
#include "html/images/image_cache.h"
#include "html/images/image_loader.h"
#include "html/parser/html_parser.h"
#include "html/viewer/document_walk.h"
#include "html/viewer/form_controls.h"
#include "html/viewer/paint_panel.h"
#include "html/viewer/url_to_local_path.h"
#include "platform/ansi.h"
#include "platform/exception.h"
#include "platform/posted_message.h"

#include <algorithm>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>

namespace {

constexpr char kCannotLocate[] = "Can't locate file: ";
// Document pixels one wheel notch scrolls.
constexpr int kWheelLines = 3;
// Controls closer than this to the bottom edge count as out of view when
// they take the focus.
constexpr int kFocusBottomSlack = 20;
// Selection dragged beyond the edge: one step, or this many when the pointer
// is further out than kFarDrag pixels.
constexpr int kFastDragSteps = 8;
constexpr int kFarDrag = 15;
// Middle-button scrolling: no movement within kMiddleDeadZone pixels of the
// press, slow up to kMiddleFast, fast beyond.
constexpr int kMiddleDeadZone = 20;
constexpr int kMiddleFast = 60;
constexpr int kMiddleSlowStep = 8;
constexpr int kMiddleFastStep = 32;
constexpr int kPositionOffsetMask = 0xFFFF;
constexpr int kMaxExtensionLength = 5;

// Processing on, the hourglass shown, for the length of a load.
class ProcessingScope {
public:
    explicit ProcessingScope(std::function<void(bool)> set) : m_set(std::move(set))
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_set(true);
    }
    ~ProcessingScope()
    {
        QApplication::restoreOverrideCursor();
        m_set(false);
    }
    ProcessingScope(const ProcessingScope&) = delete;
    ProcessingScope& operator=(const ProcessingScope&) = delete;

private:
    std::function<void(bool)> m_set;
};

bool isWordChar(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return html::isLetter(c) || html::isDigit(c) || u >= 192;
}

} // namespace

THTMLViewer::THTMLViewer(QWidget* parent) : QWidget(parent)
{
    m_defBackground = palette().color(QPalette::Button);
    m_defFontColor = palette().color(QPalette::ButtonText);
    m_factory = std::make_unique<TWidgetControlFactory>(static_cast<TFormHost&>(*this));
    m_doc = std::make_unique<TSectionList>();
    m_doc->ControlFactory = m_factory.get();
    m_doc->GetPicture = [this](const std::string& src) { return getPicture(src); };

    m_panel = new TPaintPanel(this);
    m_vbar = new QScrollBar(Qt::Vertical, this);
    m_vbar->setSingleStep(kVerticalStep);
    m_vbar->hide();
    m_hbar = new QScrollBar(Qt::Horizontal, this);
    m_hbar->setSingleStep(kHorizontalStep);
    m_hbar->hide();
    connect(m_vbar, &QScrollBar::valueChanged, this, [this](int v) { scrollTo(v, m_left); });
    connect(m_hbar, &QScrollBar::valueChanged, this, [this](int v) { scrollTo(m_top, v); });

    m_hoverTimer = new QTimer(this);
    m_hoverTimer->setInterval(kHoverCheckMs);
    connect(m_hoverTimer, &QTimer::timeout, this, [this] { hoverCheck(); });
    m_dragTimer = new QTimer(this);
    m_dragTimer->setInterval(kDragScrollMs);
    connect(m_dragTimer, &QTimer::timeout, this, [this] { dragScroll(); });
    m_middleTimer = new QTimer(this);
    m_middleTimer->setInterval(kDragScrollMs);
    connect(m_middleTimer, &QTimer::timeout, this, [this] { middleScroll(); });
    m_animationTimer = new QTimer(this);
    m_animationTimer->setInterval(TSectionList::kAnimationInterval);
    connect(m_animationTimer, &QTimer::timeout, this, [this] {
        if (m_doc->AdvanceAnimations(TSectionList::kAnimationInterval))
            m_panel->update();
    });

    setFocusPolicy(Qt::StrongFocus);
    resize(kDefaultWidth, kDefaultHeight);
    prepareDocument();
    layoutDocument();
}

THTMLViewer::~THTMLViewer()
{
    m_clearing = true;
    // The panel widgets die with the drawing panel; the host hears nothing,
    // as it may be half destroyed itself.
    m_panels.clear();
    m_doc.reset();
}

// ---- form host ----------------------------------------------------------

QWidget* THTMLViewer::ControlParent()
{
    return m_panel;
}

bool THTMLViewer::HasSubmitHook() const
{
    return static_cast<bool>(OnFormSubmit);
}

void THTMLViewer::SubmitHook(const std::string& Action, const std::string& Target,
                             const std::string& EncType, const std::string& Method,
                             std::vector<std::string> Results)
{
    // A later submission before delivery overwrites the earlier one.
    m_pendingAction = Action;
    m_pendingTarget = Target;
    m_pendingEncType = EncType;
    m_pendingMethod = Method;
    m_pendingResults = std::move(Results);
    m_pending = true;
    platform::postMessage(this, kFormSubmitMessage);
}

void THTMLViewer::ObjectClick(TFormControlObj* control)
{
    if (!m_clearing && OnObjectClick)
        OnObjectClick(this, control, control->OnClickText);
}

void THTMLViewer::ControlEnter(TFormControlObj* control)
{
    if (m_clearing)
        return;
    const int y = control->YPos;
    const int bandTop = m_top - m_marginHeight;
    const int h = m_panel->height();
    if (y < bandTop || y > bandTop + h - kFocusBottomSlack)
        scrollTo(y - h / 2 + m_marginHeight, m_left);
    placeControls();
}

void THTMLViewer::ControlExit(TFormControlObj*)
{
    if (!m_clearing)
        placeControls();
}

bool THTMLViewer::event(QEvent* event)
{
    if (platform::isMessage(event, kFormSubmitMessage)) {
        if (m_pending) {
            m_pending = false;
            std::vector<std::string> results = std::move(m_pendingResults);
            m_pendingResults.clear();
            if (OnFormSubmit)
                OnFormSubmit(this, m_pendingAction, m_pendingTarget, m_pendingEncType,
                             m_pendingMethod, std::move(results));
        }
        return true;
    }
    return QWidget::event(event);
}

// ---- state --------------------------------------------------------------

const std::string& THTMLViewer::DocumentTitle() const
{
    return m_doc->Title;
}

std::string THTMLViewer::Base() const
{
    return m_doc->Base.empty() ? m_hostBase : m_doc->Base;
}

const std::string& THTMLViewer::BaseTarget() const
{
    return m_doc->BaseTarget;
}

const std::vector<TFormControlObj*>& THTMLViewer::FormControlList() const
{
    return m_doc->FormControlList;
}

QWidget* THTMLViewer::PaintPanel() const
{
    return m_panel;
}

void THTMLViewer::setProcessing(bool on)
{
    if (m_processing == on)
        return;
    m_processing = on;
    if (OnProcessing)
        OnProcessing(this, on);
}

// ---- loading ------------------------------------------------------------

void THTMLViewer::prepareDocument()
{
    // Focus inside a control that is about to die would wander to its
    // neighbours, which die too.
    if (m_panel && m_panel->isAncestorOf(QApplication::focusWidget()))
        setFocus();
    releaseImages();
    ImageCache::Shared().BeginLoad();
    m_waiting.clear();
    m_doc->DefFontColor = m_defFontColor;
    m_doc->DefHotSpotColor = m_defHotSpotColor;
    m_doc->DefVisitedLinkColor = m_defVisitedLinkColor;
    m_doc->DefOverLinkColor = m_defOverLinkColor;
    m_doc->DefBackground = m_defBackground;
    m_doc->HoverColoring = (m_options & htOverLinksActive) != 0;
    m_doc->LinkUnderline = (m_options & htNoLinkUnderline) == 0;
    m_doc->ViewImages = m_viewImages;
    destroyPanels();
    m_clearing = true;
    m_doc->Clear();
    m_clearing = false;
    m_animationTimer->stop();
    m_caret = 0;
    m_selecting = false;
    m_leftPressed = false;
}

void THTMLViewer::installParserHooks(THtmlParser& parser)
{
    parser.OnMeta = [this](const std::string& httpEq, const std::string& name,
                           const std::string& content) {
        if (OnMeta)
            OnMeta(this, httpEq, name, content);
        if (!OnMetaRefresh || !html::equalsIgnoreCase(html::trimmed(httpEq), "refresh"))
            return;
        const std::size_t semi = content.find(';');
        int delay = 0;
        if (!html::parseWholeNumber(html::trimmed(content.substr(0, semi)), delay) || delay < 0)
            return;
        const std::size_t url = html::toLower(content).find("url=");
        m_refreshUrl = url == std::string::npos ? std::string() : content.substr(url + 4);
        m_refreshDelay = delay == 0 ? 1 : delay;
    };
    if (OnScript)
        parser.OnScript = [this](const std::string& language, std::string script) {
            if (OnScript)
                OnScript(this, language, std::move(script));
        };
    if (OnInclude)
        parser.OnInclude = [this](const std::string& command,
                                  const std::vector<std::string>& params, std::string& buffer) {
            if (OnInclude)
                OnInclude(this, command, params, buffer);
        };
    parser.OnSoundRequest = [this](const std::string& src, int loop) {
        if (OnSoundRequest)
            OnSoundRequest(this, src, loop, false);
    };
}

void THTMLViewer::loadFile(const QString& name, int kind)
{
    const int hash = name.indexOf(QLatin1Char('#'));
    const QString file = hash >= 0 ? name.left(hash) : name;
    const std::string anchor = hash >= 0 ? platform::toAnsi(name.mid(hash)) : std::string();
    ProcessingScope processing([this](bool on) { setProcessing(on); });
    m_refreshDelay = 0;
    m_refreshUrl.clear();
    const QFileInfo info(file);
    QFile f(file);
    if (file.isEmpty() || !info.isFile() || !f.open(QIODevice::ReadOnly))
        throw EInOutError(kCannotLocate + platform::toAnsi(file), 2);
    const QByteArray bytes = f.readAll();
    f.close();

    const QString oldFile = m_currentFile;
    prepareDocument();
    m_currentFile = info.absoluteFilePath();
    m_docKind = kind;
    THtmlParser parser(*m_doc);
    installParserHooks(parser);
    if (kind == TextType) {
        parser.ParsePlainText(std::string_view(bytes.constData(), bytes.size()));
    } else if (kind == ImgType) {
        parser.ParseHTML("<img src=\"" + platform::toAnsi(m_currentFile) + "\">");
    } else {
        if (OnSoundRequest)
            OnSoundRequest(this, std::string(), 0, true);
        parser.ParsePage(std::string_view(bytes.constData(), bytes.size()),
                         httpContentTypeOf(m_currentFile));
    }
    createPanels();
    layoutDocument();
    markVisited();
    startAnimations();
    if (anchor.empty() || !JumpToAnchor(anchor)) {
        if (m_currentFile != oldFile)
            scrollTo(0, 0);
    }
    placeControls();
    m_panel->update();
    update();
}

void THTMLViewer::loadAndRecord(const QString& name, int kind)
{
    if (m_processing || name.isEmpty())
        return;
    const QString oldFile = m_currentFile;
    const std::string oldTitle = DocumentTitle();
    const int oldKind = m_docKind;
    const int oldPosition = Position();
    loadFile(name, kind);
    if (m_currentFile != oldFile || m_docKind != oldKind)
        historyStep(oldFile, oldTitle, oldPosition, oldKind);
    raiseMetaRefresh();
}

std::string THTMLViewer::httpContentTypeOf(const QString& file) const
{
    auto it = m_httpContentTypes.find(file);
    return it == m_httpContentTypes.end() ? std::string() : it->second;
}

void THTMLViewer::LoadFromFile(const QString& FileName)
{
    if (m_processing || FileName.isEmpty())
        return;
    // A file opened from disk is read by what it declares itself, even when
    // an earlier download was kept under the same name.
    m_httpContentTypes.erase(
        QFileInfo(FileName.section(QLatin1Char('#'), 0, 0)).absoluteFilePath());
    loadAndRecord(FileName, HTMLType);
}

void THTMLViewer::LoadFromFile(const QString& FileName, const std::string& httpContentType)
{
    if (m_processing || FileName.isEmpty())
        return;
    const QString file = QFileInfo(FileName.section(QLatin1Char('#'), 0, 0)).absoluteFilePath();
    m_httpContentTypes[file] = httpContentType;
    loadAndRecord(FileName, HTMLType);
}

void THTMLViewer::LoadImageFile(const QString& FileName)
{
    loadAndRecord(FileName, ImgType);
}

void THTMLViewer::LoadStrings(const std::vector<std::string>& Strings)
{
    if (m_processing)
        return;
    std::string source;
    for (const std::string& line : Strings) {
        source += line;
        source += "\r\n";
    }
    {
        ProcessingScope processing([this](bool on) { setProcessing(on); });
        m_refreshDelay = 0;
        m_refreshUrl.clear();
        prepareDocument();
        m_currentFile.clear();
        m_docKind = HTMLType;
        if (OnSoundRequest)
            OnSoundRequest(this, std::string(), 0, true);
        THtmlParser parser(*m_doc);
        installParserHooks(parser);
        parser.ParsePage(source);
        createPanels();
        layoutDocument();
        markVisited();
        startAnimations();
        m_top = m_left = -1; // force the move to the top
        scrollTo(0, 0);
        placeControls();
        m_panel->update();
        update();
    }
    raiseMetaRefresh();
}

void THTMLViewer::Clear()
{
    if (m_processing)
        return;
    prepareDocument();
    m_currentFile.clear();
    m_docKind = HTMLType;
    layoutDocument();
    scrollTo(0, 0);
    m_panel->update();
}

void THTMLViewer::raiseMetaRefresh()
{
    if (m_refreshDelay > 0 && OnMetaRefresh)
        OnMetaRefresh(this, m_refreshDelay, m_refreshUrl);
}

// ---- printing -----------------------------------------------------------

int THTMLViewer::printWith(const std::function<int(TDocumentPrinter&)>& print)
{
    if (m_processing)
        return 0;
    const int position = Position();
    ProcessingScope processing([this](bool on) { setProcessing(on); });
    TDocumentPrinter printer(*m_doc, m_printMargins, (m_options & htPrintTableBackground) != 0);
    printer.OnHeader = [this](QPainter& canvas, int page, int w, int h, bool& stop) {
        if (OnPrintHeader)
            OnPrintHeader(this, &canvas, page, w, h, stop);
    };
    printer.OnFooter = [this](QPainter& canvas, int page, int w, int h, bool& stop) {
        if (OnPrintFooter)
            OnPrintFooter(this, &canvas, page, w, h, stop);
    };
    // The print lays the document out for the page; the screen gets its own
    // layout back whatever happens.
    auto restoreScreen = [this, position] {
        layoutDocument();
        setPosition(position);
        placeControls();
        m_panel->update();
    };
    int pages = 0;
    try {
        pages = print(printer);
    } catch (...) {
        restoreScreen();
        throw;
    }
    restoreScreen();
    return pages;
}

int THTMLViewer::Print(QPagedPaintDevice& Device)
{
    return printWith([&Device](TDocumentPrinter& printer) { return printer.Print(Device); });
}

std::vector<QImage> THTMLViewer::PrintPreview(const QPageLayout& Layout, int DotsPerInch)
{
    std::vector<QImage> pages;
    printWith([&](TDocumentPrinter& printer) {
        pages = printer.Render(Layout, DotsPerInch);
        return static_cast<int>(pages.size());
    });
    return pages;
}

// ---- panels -------------------------------------------------------------

void THTMLViewer::createPanels()
{
    if (!OnPanelCreate)
        return;
    std::vector<TPanelObj*> found;
    html_viewer::ForEachBlock(*m_doc, [&found](TSectionBase& block) {
        if (auto* section = dynamic_cast<TSection*>(&block))
            for (const auto& object : section->Images())
                if (auto* panel = dynamic_cast<TPanelObj*>(object.get()))
                    found.push_back(panel);
    });
    for (TPanelObj* panel : found) {
        // Parked off the panel until layout gives it a place, and shown like
        // the form controls so that what the host puts in it stays in the
        // Tab chain.
        auto* widget = new QWidget(m_panel);
        widget->move(TWidgetFormControlObj::kParkedLeft, TWidgetFormControlObj::kParkedTop);
        widget->show();
        m_panels.emplace_back(panel, widget);
        OnPanelCreate(this, panel->Name, widget);
    }
}

void THTMLViewer::destroyPanels()
{
    // Taken out first, so that nothing reaches them while the host hears of
    // their end.
    auto panels = std::move(m_panels);
    m_panels.clear();
    for (auto& entry : panels) {
        QPointer<QWidget>& widget = entry.second;
        if (widget && OnPanelDestroy)
            OnPanelDestroy(this, widget);
        if (!widget)
            continue;
        // The host's own widgets inside may be in one of their handlers.
        widget->hide();
        widget->deleteLater();
    }
}

// ---- images -------------------------------------------------------------

QIODevice* THTMLViewer::WaitStream()
{
    // One shared marker object for the whole program; never read.
    static QBuffer* wait = new QBuffer;
    return wait;
}

images::LoadedImage THTMLViewer::readImage(const std::string& src, bool& wait)
{
    wait = false;
    images::LoadedImage loaded;
    QImage bitmap;
    QColor transparent;
    if (OnBitmapRequest)
        OnBitmapRequest(this, src, bitmap, transparent);
    if (!bitmap.isNull()) {
        loaded = images::fromHostBitmap(
            bitmap, transparent.isValid() ? std::optional<QRgb>(transparent.rgb()) : std::nullopt);
    } else {
        QIODevice* stream = nullptr;
        if (OnImageRequest)
            OnImageRequest(this, src, stream);
        if (stream == WaitStream()) {
            wait = true;
            loaded.image = images::placeholderBitmap();
            return loaded;
        }
        if (stream) {
            if (!stream->isSequential())
                stream->seek(0);
            loaded = images::loadImage(stream->readAll(), platform::fromAnsi(src));
        } else {
            loaded = images::loadImageFile(expandLinkName(src));
        }
    }
    if (loaded.ok()) {
        ImageCache::Shared().Add(src, loaded);
        m_docImages.push_back(src);
    }
    return loaded;
}

images::LoadedImage THTMLViewer::getPicture(const std::string& src)
{
    if (auto cached = ImageCache::Shared().Take(src)) {
        m_docImages.push_back(src);
        return *cached;
    }
    bool wait = false;
    images::LoadedImage loaded = readImage(src, wait);
    if (wait)
        m_waiting.push_back({ImageCache::KeyOf(src), nullptr});
    return loaded;
}

void THTMLViewer::startAnimations()
{
    if (m_doc->HasAnimations())
        m_animationTimer->start();
    else
        m_animationTimer->stop();
}

void THTMLViewer::releaseImages()
{
    for (const std::string& name : m_docImages)
        ImageCache::Shared().Release(name);
    m_docImages.clear();
}

bool THTMLViewer::InsertImage(const std::string& Src, QIODevice* Stream)
{
    const std::string key = ImageCache::KeyOf(Src);
    auto it = std::find_if(m_waiting.begin(), m_waiting.end(),
                           [&](const auto& w) { return w.first == key; });
    if (it == m_waiting.end() || !Stream)
        return false;
    m_waiting.erase(it);
    if (!Stream->isSequential())
        Stream->seek(0);
    const images::LoadedImage loaded =
        images::loadImage(Stream->readAll(), platform::fromAnsi(Src));
    if (loaded.ok()) {
        ImageCache::Shared().Add(Src, loaded);
        m_docImages.push_back(Src);
    }
    for (TImageObj* image : m_doc->ImageList) {
        if (ImageCache::KeyOf(image->Source) != key)
            continue;
        if (!loaded.ok())
            image->SetError();
        else if (loaded.animated())
            image->SetAnimation(std::make_unique<TGIFAnimation>(loaded.gif));
        else
            image->SetPicture(loaded.image);
    }
    relayout(true);
    startAnimations();
    return true;
}

int THTMLViewer::ImageCacheCount() const
{
    return ImageCache::Shared().Limit();
}

void THTMLViewer::setImageCacheCount(int count)
{
    ImageCache::Shared().setLimit(count);
}

// ---- history ------------------------------------------------------------

void THTMLViewer::historyStep(const QString& oldFile, const std::string& oldTitle, int oldPosition,
                              int oldKind)
{
    if (m_historyMaxCount < 1 || m_currentFile.isEmpty())
        return;
    if (oldFile == m_currentFile && oldKind == m_docKind && oldPosition == Position())
        return;
    if (!m_history.isEmpty() && !oldFile.isEmpty()) {
        m_history[m_historyIndex] = oldFile;
        m_titleHistory[m_historyIndex] = oldTitle;
        m_positionHistory[m_historyIndex] = PositionObj{oldPosition, oldKind};
        // The entries ahead of the present one are the forward steps; a new
        // step drops them.
        m_history.erase(m_history.begin(), m_history.begin() + m_historyIndex);
        m_titleHistory.erase(m_titleHistory.begin(), m_titleHistory.begin() + m_historyIndex);
        m_positionHistory.erase(m_positionHistory.begin(),
                                m_positionHistory.begin() + m_historyIndex);
    }
    m_historyIndex = 0;
    m_history.insert(0, m_currentFile);
    m_positionHistory.insert(m_positionHistory.begin(), PositionObj{Position(), m_docKind});
    m_titleHistory.insert(m_titleHistory.begin(), DocumentTitle());
    if (m_history.size() > m_historyMaxCount) {
        m_history.removeAt(m_historyMaxCount);
        m_titleHistory.erase(m_titleHistory.begin() + m_historyMaxCount);
        m_positionHistory.erase(m_positionHistory.begin() + m_historyMaxCount);
    }
    if (OnHistoryChange)
        OnHistoryChange(this);
}

void THTMLViewer::setHistoryIndex(int index)
{
    if (index == m_historyIndex || index < 0 || index >= m_history.size() || m_processing)
        return;
    if (!m_currentFile.isEmpty()) {
        m_history[m_historyIndex] = m_currentFile;
        m_positionHistory[m_historyIndex] = PositionObj{Position(), m_docKind};
        m_titleHistory[m_historyIndex] = DocumentTitle();
    }
    const QString file = m_history[index];
    const PositionObj entry = m_positionHistory[index];
    if (file != m_currentFile || entry.FileType != m_docKind) {
        loadFile(file, entry.FileType);
        raiseMetaRefresh();
    }
    setPosition(entry.Pos);
    m_historyIndex = index;
    if (OnHistoryChange)
        OnHistoryChange(this);
}

void THTMLViewer::setHistoryMaxCount(int count)
{
    if (count < 0 || count == m_historyMaxCount)
        return;
    if (count < m_historyMaxCount)
        ClearHistory();
    m_historyMaxCount = count;
}

void THTMLViewer::ClearHistory()
{
    const bool had = !m_history.isEmpty();
    m_history.clear();
    m_titleHistory.clear();
    m_positionHistory.clear();
    m_historyIndex = 0;
    if (had && OnHistoryChange)
        OnHistoryChange(this);
}

// ---- links and visited --------------------------------------------------

QString THTMLViewer::expandLinkName(const std::string& link) const
{
    QString s = UrlToLocalPath(platform::fromAnsi(html::trimmed(link)));
    if (s.startsWith(QLatin1Char('/')) && !m_serverRoot.isEmpty())
        s = m_serverRoot + s;
    if (s.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(s);
    const std::string base = Base();
    const bool drive = s.size() > 1 && s[1] == QLatin1Char(':');
    if (drive || html::equalsIgnoreCase(base, "DosPath"))
        return QFileInfo(s).absoluteFilePath();
    QString folder;
    if (!base.empty()) {
        folder = UrlToLocalPath(platform::fromAnsi(base));
        folder = folder.left(folder.lastIndexOf(QLatin1Char('/')) + 1);
    }
    if (folder.isEmpty())
        folder =
            m_currentFile.isEmpty() ? QDir::currentPath() : QFileInfo(m_currentFile).absolutePath();
    return QDir::cleanPath(QDir(folder).absoluteFilePath(s));
}

QString THTMLViewer::expandedUrl(const TUrlTarget& link) const
{
    if (!link.Url.empty() && link.Url.front() == '#')
        return m_currentFile + platform::fromAnsi(link.Url);
    const std::size_t hash = link.Url.find('#');
    const std::string name = link.Url.substr(0, hash);
    const std::string anchor = hash == std::string::npos ? std::string() : link.Url.substr(hash);
    return expandLinkName(name) + platform::fromAnsi(anchor);
}

void THTMLViewer::addVisited(const QString& url)
{
    if (m_visitedMaxCount == 0 || (!m_visited.isEmpty() && m_visited.front() == url))
        return;
    const int at = m_visited.indexOf(url);
    if (at < 0) {
        for (const auto& link : m_doc->Links)
            if (expandedUrl(*link).compare(url, Qt::CaseInsensitive) == 0)
                link->Visited = true;
        m_visited.insert(0, url);
    } else {
        m_visited.move(at, 0);
    }
    while (m_visited.size() > m_visitedMaxCount)
        m_visited.removeLast();
    m_panel->update();
}

void THTMLViewer::markVisited()
{
    if (m_visited.isEmpty())
        return;
    for (const auto& link : m_doc->Links) {
        const QString url = expandedUrl(*link);
        for (const QString& v : m_visited)
            if (v.compare(url, Qt::CaseInsensitive) == 0) {
                link->Visited = true;
                break;
            }
    }
}

void THTMLViewer::setVisitedMaxCount(int count)
{
    m_visitedMaxCount = std::max(0, count);
    while (m_visited.size() > m_visitedMaxCount)
        m_visited.removeLast();
}

bool THTMLViewer::JumpToAnchor(const std::string& Name)
{
    std::string name = Name;
    if (!name.empty() && name.front() == '#')
        name.erase(0, 1);
    const int y = m_doc->AnchorPosition(html::toUpper(name));
    if (y < 0)
        return false;
    scrollTo(y + m_marginHeight, 0);
    addVisited(m_currentFile + QLatin1Char('#') + platform::fromAnsi(name));
    return true;
}

void THTMLViewer::linkClick(const std::string& url, const std::string& target)
{
    m_linkUrl = url;
    m_linkTarget = target;
    bool handled = false;
    if (OnHotSpotClick)
        OnHotSpotClick(this, url, handled);
    if (handled)
        return;
    if (!url.empty() && url.front() == '#') {
        const int before = Position();
        if (JumpToAnchor(url)) {
            historyStep(m_currentFile, DocumentTitle(), before, m_docKind);
            addVisited(m_currentFile + platform::fromAnsi(url));
        }
        return;
    }
    const std::size_t hash = url.find('#');
    const std::string name = url.substr(0, hash);
    const std::string anchor = hash == std::string::npos ? std::string() : url.substr(hash);
    const QString expanded = expandLinkName(name);
    const int dot = expanded.lastIndexOf(QLatin1Char('.'));
    const int slash = expanded.lastIndexOf(QLatin1Char('/'));
    const QString ext =
        dot > slash ? expanded.mid(dot).toUpper().left(kMaxExtensionLength) : QString();
    if (ext != QLatin1String(".HTM") && ext != QLatin1String(".HTML")) {
        static const QStringList kImages = {".BMP", ".GIF", ".JPG", ".JPEG", ".PNG"};
        if (kImages.contains(ext))
            LoadImageFile(expanded);
        return;
    }
    const QString full = expanded + platform::fromAnsi(anchor);
    if (expanded != m_currentFile) {
        LoadFromFile(full);
        addVisited(full);
    } else {
        const int before = Position();
        if (JumpToAnchor(anchor)) {
            historyStep(m_currentFile, DocumentTitle(), before, HTMLType);
            addVisited(full);
        }
    }
}

// ---- layout and scrolling -----------------------------------------------

int THTMLViewer::borderWidth() const
{
    return m_borderStyle == htNone ? 0 : 2;
}

bool THTMLViewer::verticalBarAllowed() const
{
    return m_scrollBars == ssBoth || m_scrollBars == ssVertical;
}

bool THTMLViewer::horizontalBarAllowed() const
{
    return m_scrollBars == ssBoth || m_scrollBars == ssHorizontal;
}

int THTMLViewer::docHeight() const
{
    return m_doc->DocHeight() + m_marginHeight * (verticalBarAllowed() ? 2 : 1);
}

int THTMLViewer::docWidth() const
{
    return std::min(m_doc->MaxWidth(), kMaxLayoutWidth) + 2 * m_marginWidth;
}

int THTMLViewer::maxTop() const
{
    return std::max(0, docHeight() - m_panel->height());
}

int THTMLViewer::maxLeft() const
{
    return std::max(0, docWidth() - m_panel->width());
}

void THTMLViewer::layoutDocument()
{
    const int barWidth = verticalBarAllowed() ? m_vbar->sizeHint().width() : 0;
    const int width = std::clamp(this->width() - 2 * m_marginWidth - 2 * borderWidth() - barWidth,
                                 1, kMaxLayoutWidth);
    try {
        m_doc->DoLogic(width);
    } catch (...) {
        // A document that cannot be laid out is not shown at all, so that
        // nothing paints half-built blocks.
        destroyPanels();
        m_clearing = true;
        m_doc->Clear();
        m_clearing = false;
        m_doc->DoLogic(width);
        updateScrollBars();
        throw;
    }
    updateScrollBars();
}

void THTMLViewer::updateScrollBars()
{
    const int b = borderWidth();
    const QRect inner = rect().adjusted(b, b, -b, -b);
    const int vw = m_vbar->sizeHint().width();
    const int hh = m_hbar->sizeHint().height();
    const bool showV = verticalBarAllowed() && docHeight() >= inner.height();
    const int availableWidth = inner.width() - (showV ? vw : 0);
    const bool showH = horizontalBarAllowed() && docWidth() > availableWidth;
    const int panelHeight = inner.height() - (showH ? hh : 0);
    m_panel->setGeometry(inner.x(), inner.y(), std::max(0, availableWidth),
                         std::max(0, panelHeight));
    m_vbar->setVisible(showV);
    m_hbar->setVisible(showH);
    if (showV)
        m_vbar->setGeometry(inner.right() - vw + 1, inner.y(), vw, std::max(0, panelHeight));
    if (showH)
        m_hbar->setGeometry(inner.x(), inner.bottom() - hh + 1, std::max(0, availableWidth), hh);
    {
        const QSignalBlocker blockV(m_vbar);
        const QSignalBlocker blockH(m_hbar);
        m_vbar->setRange(0, maxTop());
        m_vbar->setPageStep(std::max(1, m_panel->height()));
        m_hbar->setRange(0, maxLeft());
        m_hbar->setPageStep(std::max(1, m_panel->width()));
    }
    const int top = std::clamp(m_top, 0, maxTop());
    const int left = std::clamp(m_left, 0, maxLeft());
    if (top != m_top || left != m_left)
        scrollTo(top, left);
    else {
        const QSignalBlocker blockV(m_vbar);
        const QSignalBlocker blockH(m_hbar);
        m_vbar->setValue(m_top);
        m_hbar->setValue(m_left);
    }
}

void THTMLViewer::relayout(bool keepPosition)
{
    const int position = Position();
    layoutDocument();
    if (keepPosition)
        setPosition(position);
    placeControls();
    m_panel->update();
}

void THTMLViewer::ScrollTo(int top)
{
    scrollTo(top, m_left);
}

void THTMLViewer::scrollTo(int top, int left)
{
    top = std::clamp(top, 0, maxTop());
    left = std::clamp(left, 0, maxLeft());
    if (top == m_top && left == m_left)
        return;
    const bool wasValid = m_top >= 0 && m_left >= 0;
    const int dy = m_top - top;
    const int dx = m_left - left;
    m_top = top;
    m_left = left;
    {
        const QSignalBlocker blockV(m_vbar);
        const QSignalBlocker blockH(m_hbar);
        m_vbar->setValue(top);
        m_hbar->setValue(left);
    }
    // A small move shifts what is on screen and paints only the strip that
    // comes into view; the controls' widgets move along.
    if (wasValid && std::abs(dy) < m_panel->height() && std::abs(dx) < m_panel->width())
        m_panel->scroll(dx, dy);
    else
        m_panel->update();
    placeControls();
}

void THTMLViewer::placeControls()
{
    const QRect visible = m_panel->rect();
    for (TFormControlObj* c : m_doc->FormControlList) {
        auto* control = dynamic_cast<TWidgetFormControlObj*>(c);
        if (!control)
            continue;
        const QRect r(DocumentToPanel(QPoint(c->Left, c->Top)), QSize(c->Width(), c->Height()));
        if (c->Width() > 0 && r.intersects(visible)) {
            c->Shown = true;
            QWidget* w = control->OuterWidget();
            if (w->pos() != r.topLeft())
                w->move(r.topLeft());
        } else {
            c->Shown = false;
            control->Park();
        }
    }
    for (const auto& [panel, widget] : m_panels) {
        if (!widget)
            continue;
        const QRect r(DocumentToPanel(QPoint(panel->Left, panel->Top)),
                      QSize(panel->ObjWidth, panel->ObjHeight));
        if (widget->size() != r.size())
            widget->resize(r.size());
        const QPoint at =
            r.intersects(visible) ? r.topLeft() : QPoint(TWidgetFormControlObj::kParkedLeft, r.y());
        if (widget->pos() != at)
            widget->move(at);
    }
}

QPoint THTMLViewer::PanelToDocument(QPoint p) const
{
    return QPoint(p.x() + m_left - m_marginWidth, p.y() + m_top - m_marginHeight);
}

QPoint THTMLViewer::DocumentToPanel(QPoint p) const
{
    return QPoint(p.x() - m_left + m_marginWidth, p.y() - m_top + m_marginHeight);
}

int THTMLViewer::Position() const
{
    const auto& blocks = m_doc->Blocks();
    int index = 0;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (blocks[i]->YPosition <= m_top)
            index = static_cast<int>(i);
        else
            break;
    }
    const int offset =
        blocks.empty() ? m_top
                       : std::max(0, m_top - blocks[static_cast<std::size_t>(index)]->YPosition);
    return (index << 16) | std::min(offset, kPositionOffsetMask);
}

void THTMLViewer::setPosition(int position)
{
    const auto& blocks = m_doc->Blocks();
    const int index = position >> 16;
    const int offset = position & kPositionOffsetMask;
    if (blocks.empty()) {
        if (index == 0)
            scrollTo(offset, m_left);
        return;
    }
    if (index < 0 || index >= static_cast<int>(blocks.size()))
        return;
    scrollTo(blocks[static_cast<std::size_t>(index)]->YPosition + offset, m_left);
}

void THTMLViewer::resizeEvent(QResizeEvent*)
{
    if (m_processing) {
        updateScrollBars();
        return;
    }
    relayout(true);
}

void THTMLViewer::paintEvent(QPaintEvent*)
{
    const int b = borderWidth();
    if (b == 0)
        return;
    QPainter p(this);
    const bool shown = m_borderStyle == htSingle || hasFocus();
    const QRect r = rect();
    if (!shown) {
        p.fillRect(r, palette().color(QPalette::Window));
        return;
    }
    p.setPen(palette().color(QPalette::Dark));
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
    p.setPen(palette().color(QPalette::Shadow));
    p.drawLine(r.left() + 1, r.top() + 1, r.right() - 1, r.top() + 1);
    p.drawLine(r.left() + 1, r.top() + 1, r.left() + 1, r.bottom() - 1);
    p.setPen(palette().color(QPalette::Midlight));
    p.drawLine(r.left() + 1, r.bottom() - 1, r.right() - 1, r.bottom() - 1);
    p.drawLine(r.right() - 1, r.top() + 1, r.right() - 1, r.bottom() - 1);
}

void THTMLViewer::focusInEvent(QFocusEvent* event)
{
    update();
    QWidget::focusInEvent(event);
}

void THTMLViewer::focusOutEvent(QFocusEvent* event)
{
    update();
    QWidget::focusOutEvent(event);
}

void THTMLViewer::keyPressEvent(QKeyEvent* event)
{
    if (m_middleMode) {
        endMiddleScroll();
        return;
    }
    const int page = std::max(1, m_panel->height() - kVerticalStep);
    switch (event->key()) {
    case Qt::Key_PageUp:
        scrollTo(m_top - page, m_left);
        break;
    case Qt::Key_PageDown:
        scrollTo(m_top + page, m_left);
        break;
    case Qt::Key_Home:
        scrollTo(0, m_left);
        break;
    case Qt::Key_End:
        scrollTo(maxTop(), m_left);
        break;
    case Qt::Key_Up:
        scrollTo(m_top - kVerticalStep, m_left);
        break;
    case Qt::Key_Down:
        scrollTo(m_top + kVerticalStep, m_left);
        break;
    case Qt::Key_Left:
        scrollTo(m_top, m_left - kHorizontalStep);
        break;
    case Qt::Key_Right:
        scrollTo(m_top, m_left + kHorizontalStep);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void THTMLViewer::wheelEvent(QWheelEvent* event)
{
    const int notches = event->angleDelta().y() / 120;
    if (notches != 0)
        scrollTo(m_top - notches * kWheelLines * kVerticalStep, m_left);
    event->accept();
}

// ---- painting -----------------------------------------------------------

void THTMLViewer::panelPaint(QPaintEvent* event)
{
    const QRect damaged = event->rect();
    if (damaged.isEmpty())
        return;
    // The damaged part is drawn off screen first and copied in one step.
    QImage buffer(damaged.size(), QImage::Format_RGB32);
    if (buffer.isNull())
        return;
    {
        QPainter p(&buffer);
        p.translate(-damaged.topLeft());
        const QPoint origin = DocumentToPanel(QPoint(0, 0));
        const QRect clip(PanelToDocument(damaged.topLeft()), damaged.size());
        m_doc->Draw(p, clip, origin.x(), origin.y());
    }
    QPainter screen(m_panel);
    screen.drawImage(damaged.topLeft(), buffer);
}

// ---- pointer ------------------------------------------------------------

bool THTMLViewer::hitTest(QPoint panelPoint, THitResult& hit)
{
    const QPoint d = PanelToDocument(panelPoint);
    return m_doc->HitTest(d.x(), d.y(), hit);
}

void THTMLViewer::setHover(TUrlTarget* link, const std::string& url, const std::string& target)
{
    if (m_doc->HoverLink != link) {
        m_doc->HoverLink = link;
        if (m_doc->HoverColoring)
            m_panel->update();
    }
    if (url != m_linkUrl) {
        m_linkUrl = url;
        m_linkTarget = target;
        if (OnHotSpotCovered)
            OnHotSpotCovered(this, url);
    }
}

void THTMLViewer::hoverCheck()
{
    if (QApplication::widgetAt(QCursor::pos()) == m_panel)
        return;
    m_hoverTimer->stop();
    setHover(nullptr, std::string(), std::string());
}

void THTMLViewer::panelMousePress(QMouseEvent* event)
{
    if (OnMouseDown)
        OnMouseDown(this, event);
    if (m_middleMode) {
        endMiddleScroll();
        return;
    }
    setFocus(Qt::MouseFocusReason);
    if (event->button() == Qt::MiddleButton) {
        m_middleMode = true;
        m_middleStart = m_dragPoint = event->pos();
        m_panel->setCursor(Qt::SizeVerCursor);
        m_middleTimer->start();
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    m_leftPressed = true;
    if (m_noSelect)
        return;
    THitResult hit;
    const int old = SelLength();
    if (hitTest(event->pos(), hit) && hit.charIndex >= 0)
        m_caret = hit.charIndex;
    m_doc->SelStart = m_doc->SelEnd = m_caret;
    m_selecting = true;
    if (old != 0)
        m_panel->update();
}

void THTMLViewer::extendSelection(QPoint panelPoint)
{
    const QPoint p(std::clamp(panelPoint.x(), 0, std::max(0, m_panel->width() - 1)),
                   std::clamp(panelPoint.y(), 0, std::max(0, m_panel->height() - 1)));
    THitResult hit;
    if (!hitTest(p, hit) || hit.charIndex < 0)
        return;
    const int start = std::min(m_caret, hit.charIndex);
    const int end = std::max(m_caret, hit.charIndex);
    if (start != m_doc->SelStart || end != m_doc->SelEnd) {
        m_doc->SelStart = start;
        m_doc->SelEnd = end;
        m_panel->update();
    }
}

void THTMLViewer::panelMouseMove(QMouseEvent* event)
{
    if (OnMouseMove)
        OnMouseMove(this, event);
    m_dragPoint = event->pos();
    if (m_middleMode)
        return;
    if (m_selecting && (event->buttons() & Qt::LeftButton)) {
        extendSelection(event->pos());
        const bool outside = event->pos().y() < 0 || event->pos().y() >= m_panel->height();
        if (outside && !m_dragTimer->isActive())
            m_dragTimer->start();
        else if (!outside)
            m_dragTimer->stop();
    }
    THitResult hit;
    const bool found = hitTest(event->pos(), hit);
    const bool overLink = found && (hit.link || !hit.url.empty());
    if (found && hit.image && hit.image->FormControl) {
        if (auto* input = dynamic_cast<TImageFormControlObj*>(hit.image->FormControl)) {
            input->XTmp = hit.imageX;
            input->YTmp = hit.imageY;
        }
    }
    if (overLink) {
        m_panel->setCursor(Qt::PointingHandCursor);
        m_hoverTimer->start();
    } else {
        if (found && hit.image && OnImageOver)
            OnImageOver(this, hit.image, event->modifiers(), hit.imageX, hit.imageY);
        m_panel->setCursor(found && hit.charIndex >= 0 ? m_textCursor : Qt::ArrowCursor);
    }
    setHover(overLink ? hit.link : nullptr, overLink ? hit.url : std::string(),
             overLink ? hit.target : std::string());
}

void THTMLViewer::panelMouseRelease(QMouseEvent* event)
{
    if (OnMouseUp)
        OnMouseUp(this, event);
    if (m_middleMode) {
        if (event->button() != Qt::MiddleButton || event->pos().y() != m_middleStart.y())
            endMiddleScroll();
        return;
    }
    THitResult hit;
    const bool found = hitTest(event->pos(), hit);
    if (event->button() == Qt::RightButton) {
        if (OnRightClick) {
            TRightClickParameters params;
            if (found) {
                params.URL = hit.url;
                params.Target = hit.target;
                params.Image = hit.image;
                params.ImageX = hit.imageX;
                params.ImageY = hit.imageY;
                params.ClickWord = wordAt(hit);
            }
            OnRightClick(this, params);
        }
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    const bool pressed = m_leftPressed;
    m_leftPressed = false;
    m_selecting = false;
    m_dragTimer->stop();
    if (!pressed || !found)
        return;
    if (hit.image && OnImageClick)
        OnImageClick(this, hit.image, event->button(), event->modifiers(), hit.imageX, hit.imageY);
    if (hit.image && hit.image->FormControl) {
        if (auto* input = dynamic_cast<TImageFormControlObj*>(hit.image->FormControl)) {
            input->ImageClicked(hit.imageX, hit.imageY);
            return;
        }
    }
    if (!hit.url.empty() && SelLength() == 0)
        linkClick(hit.url, hit.target);
}

std::string THTMLViewer::wordAt(const THitResult& hit, int* start, int* end) const
{
    auto* section = dynamic_cast<TSection*>(hit.block);
    if (!section || hit.charIndex < 0)
        return {};
    const auto& index = section->SIndex;
    const auto it = std::find(index.begin(), index.end(), hit.charIndex);
    if (it == index.end())
        return {};
    const std::string& buff = section->Buff;
    int i = static_cast<int>(it - index.begin());
    if (!isWordChar(buff[static_cast<std::size_t>(i)]))
        return {};
    int first = i;
    int last = i;
    while (first > 0 && isWordChar(buff[static_cast<std::size_t>(first - 1)]))
        --first;
    while (last + 1 < static_cast<int>(buff.size()) &&
           isWordChar(buff[static_cast<std::size_t>(last + 1)]))
        ++last;
    if (start)
        *start = index[static_cast<std::size_t>(first)];
    if (end)
        *end = index[static_cast<std::size_t>(last)] + 1;
    return buff.substr(static_cast<std::size_t>(first), static_cast<std::size_t>(last - first + 1));
}

void THTMLViewer::panelDoubleClick(QMouseEvent* event)
{
    if (OnMouseDouble)
        OnMouseDouble(this, event);
    if (m_noSelect || event->button() != Qt::LeftButton)
        return;
    THitResult hit;
    int start = 0;
    int end = 0;
    if (!hitTest(event->pos(), hit) || wordAt(hit, &start, &end).empty())
        return;
    m_caret = start;
    m_doc->SelStart = start;
    m_doc->SelEnd = end;
    m_selecting = false;
    m_panel->update();
}

void THTMLViewer::panelContextMenu(QPoint globalPos)
{
    if (m_popupMenu)
        m_popupMenu->popup(globalPos);
}

void THTMLViewer::panelDragOver(QDragMoveEvent* event, TDragState state)
{
    m_dropPoint = event->position().toPoint();
    bool accept = false;
    if (OnDragOver) {
        accept = true;
        OnDragOver(this, event, m_dropPoint.x(), m_dropPoint.y(), state, accept);
    }
    // An ignored drag travels on to the parent widgets.
    if (accept)
        event->acceptProposedAction();
    else
        event->ignore();
}

void THTMLViewer::panelDragLeave()
{
    bool accept = true;
    if (OnDragOver)
        OnDragOver(this, nullptr, m_dropPoint.x(), m_dropPoint.y(), dsDragLeave, accept);
}

void THTMLViewer::panelDrop(QDropEvent* event)
{
    if (!OnDragDrop) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    const QPoint p = event->position().toPoint();
    OnDragDrop(this, event, p.x(), p.y());
}

void THTMLViewer::dragScroll()
{
    const int y = m_dragPoint.y();
    const int h = m_panel->height();
    int beyond = 0;
    if (y < 0)
        beyond = -y;
    else if (y >= h)
        beyond = y - h + 1;
    if (beyond == 0) {
        m_dragTimer->stop();
        return;
    }
    const int step = kVerticalStep * (beyond > kFarDrag ? kFastDragSteps : 1);
    scrollTo(m_top + (y < 0 ? -step : step), m_left);
    extendSelection(m_dragPoint);
}

void THTMLViewer::middleScroll()
{
    const int distance = m_dragPoint.y() - m_middleStart.y();
    const int magnitude = std::abs(distance);
    if (magnitude <= kMiddleDeadZone) {
        m_panel->setCursor(Qt::SizeVerCursor);
        return;
    }
    const int step = magnitude <= kMiddleFast ? kMiddleSlowStep : kMiddleFastStep;
    m_panel->setCursor(distance < 0 ? Qt::UpArrowCursor : Qt::SizeVerCursor);
    scrollTo(m_top + (distance < 0 ? -step : step), m_left);
}

void THTMLViewer::endMiddleScroll()
{
    m_middleMode = false;
    m_middleTimer->stop();
    m_panel->setCursor(Qt::ArrowCursor);
}

// ---- selection ----------------------------------------------------------

int THTMLViewer::SelStart() const
{
    return m_doc->SelStart;
}

int THTMLViewer::SelEnd() const
{
    return m_doc->SelEnd;
}

int THTMLViewer::SelLength() const
{
    const int start = m_doc->SelStart;
    const int end = m_doc->SelEnd;
    return start == m_caret ? end - start : start - end;
}

std::string THTMLViewer::SelText() const
{
    return m_doc->SelectedText();
}

void THTMLViewer::CopyToClipboard()
{
    if (m_doc->SelStart < m_doc->SelEnd)
        QGuiApplication::clipboard()->setText(platform::fromAnsi(m_doc->SelectedText()));
}

void THTMLViewer::setNoSelect(bool on)
{
    m_noSelect = on;
    if (on && m_doc->SelStart != m_doc->SelEnd) {
        m_doc->SelStart = m_doc->SelEnd = m_caret;
        m_panel->update();
    }
}

// ---- properties ---------------------------------------------------------

void THTMLViewer::setViewImages(bool on)
{
    if (m_processing || on == m_viewImages)
        return;
    m_viewImages = on;
    ProcessingScope processing([this](bool p) { setProcessing(p); });
    m_doc->ViewImages = on;
    if (on) {
        m_doc->LoadImages();
    } else {
        for (TImageObj* image : m_doc->ImageList) {
            image->PictureState = TImageObj::State::Placeholder;
            image->Picture = QImage();
            image->Animation.reset();
        }
    }
    relayout(true);
    startAnimations();
}

void THTMLViewer::setDefBackground(const QColor& color)
{
    m_defBackground = color;
    m_doc->DefBackground = color;
    if (!m_doc->BackgroundSet) {
        m_doc->Background = color;
        m_panel->update();
    }
}

void THTMLViewer::setBorderStyle(THTMLBorderStyle style)
{
    if (style == m_borderStyle)
        return;
    m_borderStyle = style;
    relayout(true);
    update();
}

std::string THTMLViewer::DefFontName() const
{
    return m_doc->DefFontName();
}

void THTMLViewer::setDefFontName(const std::string& name)
{
    m_doc->SetDefFontName(name);
}

std::string THTMLViewer::DefPreFontName() const
{
    return m_doc->DefPreFontName();
}

void THTMLViewer::setDefPreFontName(const std::string& name)
{
    m_doc->SetDefPreFontName(name);
}

int THTMLViewer::DefFontSize() const
{
    return m_doc->DefFontSize();
}

void THTMLViewer::setDefFontSize(int size)
{
    m_doc->SetDefFontSize(size);
}

void THTMLViewer::setDefFontColor(const QColor& color)
{
    m_defFontColor = color;
}

void THTMLViewer::setDefHotSpotColor(const QColor& color)
{
    m_defHotSpotColor = color;
}

void THTMLViewer::setDefVisitedLinkColor(const QColor& color)
{
    m_defVisitedLinkColor = color;
}

void THTMLViewer::setDefOverLinkColor(const QColor& color)
{
    m_defOverLinkColor = color;
}

void THTMLViewer::setScrollBars(TScrollStyle style)
{
    if (style == m_scrollBars)
        return;
    m_scrollBars = style;
    relayout(true);
}

void THTMLViewer::setMarginHeight(int pixels)
{
    if (m_processing)
        return;
    m_marginHeight = std::clamp(pixels, 0, kMaxMargin);
    ProcessingScope processing([this](bool p) { setProcessing(p); });
    relayout(true);
}

void THTMLViewer::setMarginWidth(int pixels)
{
    if (m_processing)
        return;
    m_marginWidth = std::clamp(pixels, 0, kMaxMargin);
    ProcessingScope processing([this](bool p) { setProcessing(p); });
    relayout(true);
}

void THTMLViewer::setServerRoot(const QString& root)
{
    QString s = root.trimmed();
    while (s.endsWith(QLatin1Char('/')) || s.endsWith(QLatin1Char('\\')))
        s.chop(1);
    m_serverRoot = s;
}

void THTMLViewer::sethtOptions(ThtmlViewerOptions options)
{
    m_options = options;
    m_doc->HoverColoring = (options & htOverLinksActive) != 0;
    m_panel->update();
}
