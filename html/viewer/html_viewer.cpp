#include "html/viewer/html_viewer.h"

#include "base/ascii.h"
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
#include "html/viewer/processing_scope.h"
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
// Controls closer than this to the bottom edge count as out of view when
// they take the focus.
constexpr int kFocusBottomSlack = 20;

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
        if (!OnMetaRefresh || !base::equalsIgnoreCase(base::trimmed(httpEq), "refresh"))
            return;
        const std::size_t semi = content.find(';');
        int delay = 0;
        if (!html::parseWholeNumber(base::trimmed(content.substr(0, semi)), delay) || delay < 0)
            return;
        const std::size_t url = base::toLower(content).find("url=");
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
    html_viewer::ProcessingScope processing([this](bool on) { setProcessing(on); });
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
        html_viewer::ProcessingScope processing([this](bool on) { setProcessing(on); });
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

// ---- properties ---------------------------------------------------------

void THTMLViewer::setViewImages(bool on)
{
    if (m_processing || on == m_viewImages)
        return;
    m_viewImages = on;
    html_viewer::ProcessingScope processing([this](bool p) { setProcessing(p); });
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
    html_viewer::ProcessingScope processing([this](bool p) { setProcessing(p); });
    relayout(true);
}

void THTMLViewer::setMarginWidth(int pixels)
{
    if (m_processing)
        return;
    m_marginWidth = std::clamp(pixels, 0, kMaxMargin);
    html_viewer::ProcessingScope processing([this](bool p) { setProcessing(p); });
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
