#pragma once

#include "html/images/image_loader.h"
#include "html/viewer/document_printer.h"
#include "html/viewer/form_host.h"

#include <functional>
#include <map>
#include <memory>
#include <QColor>
#include <QImage>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <string>
#include <vector>

class QDragMoveEvent;
class QDropEvent;
class QIODevice;
class QMenu;
class QPageLayout;
class QPagedPaintDevice;
class QPainter;
class QMouseEvent;
class QScrollBar;
class QTimer;
class TFormControlObj;
class TImageObj;
class TPaintPanel;
class TPanelObj;
class TSectionList;
class TWidgetControlFactory;
struct THitResult;
struct TUrlTarget;

enum THTMLBorderStyle { htFocused, htNone, htSingle };
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
// Where a drag over the page stands: OnDragOver reports each.
enum TDragState { dsDragEnter, dsDragLeave, dsDragMove };

// htOptions, a set of these bits.
enum ThtmlViewerOption : unsigned {
    htOverLinksActive = 1,      // the link under the pointer takes the hover colour
    htNoLinkUnderline = 2,      // links are not underlined
    htPrintTableBackground = 4, // kept for printing
    htShowDummyCaret = 8,       // kept for compatibility; no caret is drawn
};
using ThtmlViewerOptions = unsigned;

// What lies under the pointer at a right-button release.
struct TRightClickParameters {
    std::string URL;
    std::string Target;
    TImageObj* Image = nullptr;
    int ImageX = 0;
    int ImageY = 0;
    std::string ClickWord;
};

// The window control that shows HTML: it loads a document from a file or
// from lines of text, lays it out, paints it double-buffered on its drawing
// panel with scroll bars, runs its forms with real controls, follows links
// within the local file system, selects and copies text, keeps a back and
// forward history and a list of visited links, and reports to its host
// through the On... events. Texts of the document (titles, links, form
// values) are Windows-1252 std::string; file names are QString.
class THTMLViewer : public QWidget, private TFormHost {
    Q_OBJECT
public:
    // Posted to itself to deliver OnFormSubmit after the click or key
    // handler that submitted the form has returned.
    static constexpr int kFormSubmitMessage = 1124;
    static constexpr int kVerticalStep = 16;
    static constexpr int kHorizontalStep = 15;
    static constexpr int kMaxMargin = 200;
    static constexpr int kMaxLayoutWidth = 6000;
    static constexpr int kHoverCheckMs = 200;
    static constexpr int kDragScrollMs = 100;
    static constexpr int kDefaultWidth = 150;
    static constexpr int kDefaultHeight = 150;

    // Document kinds, as kept in the history.
    enum DocType { HTMLType = 0, TextType = 1, ImgType = 2 };

    explicit THTMLViewer(QWidget* parent = nullptr);
    ~THTMLViewer() override;

    // ---- loading ----
    // Loads an HTML file; the name may end with "#anchor". Throws
    // EInOutError "Can't locate file: " + name for a missing file.
    void LoadFromFile(const QString& FileName);
    // Loads a downloaded page. httpContentType is the value of the answer's
    // Content-Type header (e.g. "text/html; charset=utf-8"); a charset named
    // there wins over the page's own META. History steps back to the file
    // read it with the same header.
    void LoadFromFile(const QString& FileName, const std::string& httpContentType);
    // Shows an image file as a page holding only that image.
    void LoadImageFile(const QString& FileName);
    // Shows the lines as an HTML document; no history entry, CurrentFile
    // becomes empty.
    void LoadStrings(const std::vector<std::string>& Strings);
    // Scrolls to a named anchor (a leading "#" is ignored); false when the
    // document has none of that name.
    bool JumpToAnchor(const std::string& Name);
    void Clear();

    // ---- read-only state ----
    const QString& CurrentFile() const { return m_currentFile; }
    int DocKind() const { return m_docKind; }
    const std::string& DocumentTitle() const;
    const std::string& LinkURL() const { return m_linkUrl; }
    const std::string& LinkTarget() const { return m_linkTarget; }
    // BASE of the document, else the host-set base.
    std::string Base() const;
    void setBase(const std::string& base) { m_hostBase = base; }
    const std::string& BaseTarget() const;
    bool Processing() const { return m_processing; }
    // Every form control of the document in creation order; owned by the
    // document and gone with the next load.
    const std::vector<TFormControlObj*>& FormControlList() const;
    TSectionList& Document() { return *m_doc; }

    // ---- position, history, visited ----
    // Section number in the high 16 bits, offset into it in the low 16
    // bits; survives a re-layout.
    int Position() const;
    void setPosition(int position);
    const QStringList& History() const { return m_history; }
    const std::vector<std::string>& TitleHistory() const { return m_titleHistory; }
    int HistoryIndex() const { return m_historyIndex; }
    void setHistoryIndex(int index);
    int HistoryMaxCount() const { return m_historyMaxCount; }
    void setHistoryMaxCount(int count);
    void ClearHistory();
    const QStringList& Visited() const { return m_visited; }

    // ---- selection ----
    int SelStart() const;
    int SelEnd() const;
    // Signed length of the selection; 0 when nothing is selected.
    int SelLength() const;
    void CopyToClipboard();
    // The selected text, lines ended by CR LF.
    std::string SelText() const;

    // ---- published properties ----
    bool ViewImages() const { return m_viewImages; }
    void setViewImages(bool on);
    QColor DefBackground() const { return m_defBackground; }
    void setDefBackground(const QColor& color);
    THTMLBorderStyle BorderStyle() const { return m_borderStyle; }
    void setBorderStyle(THTMLBorderStyle style);
    std::string DefFontName() const;
    void setDefFontName(const std::string& name);
    std::string DefPreFontName() const;
    void setDefPreFontName(const std::string& name);
    int DefFontSize() const;
    void setDefFontSize(int size);
    QColor DefFontColor() const { return m_defFontColor; }
    void setDefFontColor(const QColor& color);
    QColor DefHotSpotColor() const { return m_defHotSpotColor; }
    void setDefHotSpotColor(const QColor& color);
    QColor DefVisitedLinkColor() const { return m_defVisitedLinkColor; }
    void setDefVisitedLinkColor(const QColor& color);
    QColor DefOverLinkColor() const { return m_defOverLinkColor; }
    void setDefOverLinkColor(const QColor& color);
    int VisitedMaxCount() const { return m_visitedMaxCount; }
    void setVisitedMaxCount(int count);
    int ImageCacheCount() const;
    void setImageCacheCount(int count);
    bool NoSelect() const { return m_noSelect; }
    void setNoSelect(bool on);
    TScrollStyle ScrollBars() const { return m_scrollBars; }
    void setScrollBars(TScrollStyle style);
    int CharSet() const { return m_charSet; }
    void setCharSet(int charset) { m_charSet = charset; }
    int MarginHeight() const { return m_marginHeight; }
    void setMarginHeight(int pixels);
    int MarginWidth() const { return m_marginWidth; }
    void setMarginWidth(int pixels);
    const QString& ServerRoot() const { return m_serverRoot; }
    void setServerRoot(const QString& root);
    // Print margins in inches from the edges of the sheet.
    double PrintMarginLeft() const { return m_printMargins.Left; }
    void setPrintMarginLeft(double inches) { m_printMargins.Left = inches; }
    double PrintMarginRight() const { return m_printMargins.Right; }
    void setPrintMarginRight(double inches) { m_printMargins.Right = inches; }
    double PrintMarginTop() const { return m_printMargins.Top; }
    void setPrintMarginTop(double inches) { m_printMargins.Top = inches; }
    double PrintMarginBottom() const { return m_printMargins.Bottom; }
    void setPrintMarginBottom(double inches) { m_printMargins.Bottom = inches; }
    ThtmlViewerOptions htOptions() const { return m_options; }
    void sethtOptions(ThtmlViewerOptions options);
    // The pointer over text (the hosts set the text cursor); links always
    // show the hand, empty places the arrow.
    Qt::CursorShape ViewerCursor() const { return m_textCursor; }
    void setViewerCursor(Qt::CursorShape shape) { m_textCursor = shape; }
    // The context menu shown at a right click on the page.
    QMenu* PopupMenu() const { return m_popupMenu; }
    void setPopupMenu(QMenu* menu) { m_popupMenu = menu; }

    // ---- printing ----
    // Prints the document on a paged device (a QPdfWriter, a QPrinter):
    // laid out for the width between the print margins, cut into pages
    // between lines and at PAGE elements, with OnPrintHeader and
    // OnPrintFooter for each page. Returns the number of pages printed; does
    // nothing while Processing (and Processing is on while it prints). The
    // view keeps its position.
    int Print(QPagedPaintDevice& Device);
    // The pages Print would put out, as pictures of whole sheets of the
    // layout's paper at the given resolution (a preview).
    std::vector<QImage> PrintPreview(const QPageLayout& Layout, int DotsPerInch);

    // ---- images the host delivers ----
    // The stream to hand back from OnImageRequest when the data comes
    // later; the image keeps its placeholder until InsertImage.
    static QIODevice* WaitStream();
    // Delivers the data of an image asked for earlier; false when no image
    // of the document waits for it.
    bool InsertImage(const std::string& Src, QIODevice* Stream);

    // ---- scrolling (also for hosts and tests) ----
    int VScrollPosition() const { return m_top; }
    int HScrollPosition() const { return m_left; }
    void ScrollTo(int top);
    QWidget* PaintPanel() const;
    QScrollBar* VScrollBar() const { return m_vbar; }
    QScrollBar* HScrollBar() const { return m_hbar; }
    // Panel point to document point and back.
    QPoint PanelToDocument(QPoint p) const;
    QPoint DocumentToPanel(QPoint p) const;

    // ---- events ----
    std::function<void(THTMLViewer* Sender, const std::string& SRC)> OnHotSpotCovered;
    std::function<void(THTMLViewer* Sender, const std::string& SRC, bool& Handled)> OnHotSpotClick;
    // Results belongs to the handler.
    std::function<void(THTMLViewer* Sender, const std::string& Action, const std::string& Target,
                       const std::string& EncType, const std::string& Method,
                       std::vector<std::string> Results)>
        OnFormSubmit;
    std::function<void(THTMLViewer* Sender)> OnHistoryChange;
    std::function<void(THTMLViewer* Sender, bool ProcessingOn)> OnProcessing;
    // Image data from the host: set Stream (which stays the host's) or leave
    // it null to let the viewer read the file.
    std::function<void(THTMLViewer* Sender, const std::string& SRC, QIODevice*& Stream)>
        OnImageRequest;
    // A ready picture from the host, asked before OnImageRequest; Color is
    // the transparent colour, invalid for none.
    std::function<void(THTMLViewer* Sender, const std::string& SRC, QImage& Bitmap, QColor& Color)>
        OnBitmapRequest;
    std::function<void(THTMLViewer* Sender, const std::string& HttpEq, const std::string& Name,
                       const std::string& Content)>
        OnMeta;
    std::function<void(THTMLViewer* Sender, int Delay, const std::string& URL)> OnMetaRefresh;
    std::function<void(THTMLViewer* Sender, const std::string& Language, std::string Script)>
        OnScript;
    std::function<void(THTMLViewer* Sender, const std::string& Command,
                       const std::vector<std::string>& Params, std::string& Buffer)>
        OnInclude;
    std::function<void(THTMLViewer* Sender, const std::string& SRC, int Loop, bool Terminate)>
        OnSoundRequest;
    std::function<void(THTMLViewer* Sender, TImageObj* Obj, Qt::MouseButton Button,
                       Qt::KeyboardModifiers Shift, int X, int Y)>
        OnImageClick;
    std::function<void(THTMLViewer* Sender, TImageObj* Obj, Qt::KeyboardModifiers Shift, int X,
                       int Y)>
        OnImageOver;
    std::function<void(THTMLViewer* Sender, TFormControlObj* Obj, const std::string& OnClick)>
        OnObjectClick;
    std::function<void(THTMLViewer* Sender, const TRightClickParameters& Parameters)> OnRightClick;
    std::function<void(THTMLViewer* Sender, QMouseEvent* Event)> OnMouseDouble;
    // Forwarded from the drawing panel (panel coordinates).
    std::function<void(THTMLViewer* Sender, QMouseEvent* Event)> OnMouseDown;
    std::function<void(THTMLViewer* Sender, QMouseEvent* Event)> OnMouseMove;
    std::function<void(THTMLViewer* Sender, QMouseEvent* Event)> OnMouseUp;
    // A PANEL element of the page: Panel is an empty widget that the viewer
    // keeps over the element's box on the drawing panel, for the host to
    // fill; Name is the element's NAME. Raised for each panel, in document
    // order, once the page is read. The widget belongs to the viewer.
    std::function<void(THTMLViewer* Sender, const std::string& Name, QWidget* Panel)> OnPanelCreate;
    // The panel's document is going (next load, Clear); the widget and what
    // the host put in it die after the handler returns. Not raised while
    // the viewer itself is destroyed, when its host may already be gone.
    std::function<void(THTMLViewer* Sender, QWidget* Panel)> OnPanelDestroy;
    // A drag over the drawing panel (panel coordinates). Source is Qt's
    // event: its mime data, proposed action and source widget. Accept starts
    // true; a handler that leaves it true takes the drag, one that clears it
    // (or no handler at all) lets it go on to the viewer's parents, which is
    // how a window that takes dropped files keeps getting them. At
    // dsDragLeave Source is null and Accept means nothing.
    std::function<void(THTMLViewer* Sender, QDropEvent* Source, int X, int Y, TDragState State,
                       bool& Accept)>
        OnDragOver;
    // A drop on the drawing panel that OnDragOver accepted.
    std::function<void(THTMLViewer* Sender, QDropEvent* Source, int X, int Y)> OnDragDrop;
    // A printed page's header (the band of the top margin) and footer (the
    // band of the bottom margin). Canvas has its origin at the band's top
    // left corner, in device pixels; W and H are the band's size. Setting
    // StopPrinting ends the print once this page is done.
    std::function<void(THTMLViewer* Sender, QPainter* Canvas, int NumPage, int W, int H,
                       bool& StopPrinting)>
        OnPrintHeader;
    std::function<void(THTMLViewer* Sender, QPainter* Canvas, int NumPage, int W, int H,
                       bool& StopPrinting)>
        OnPrintFooter;

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    friend class TPaintPanel;
    struct PositionObj {
        int Pos = 0;
        int FileType = 0;
    };

    // TFormHost
    QWidget* ControlParent() override;
    bool HasSubmitHook() const override;
    void SubmitHook(const std::string& Action, const std::string& Target,
                    const std::string& EncType, const std::string& Method,
                    std::vector<std::string> Results) override;
    void ObjectClick(TFormControlObj* control) override;
    void ControlEnter(TFormControlObj* control) override;
    void ControlExit(TFormControlObj* control) override;

    // loading
    void loadFile(const QString& name, int kind);
    void loadAndRecord(const QString& name, int kind);
    std::string httpContentTypeOf(const QString& file) const;
    void prepareDocument();
    void installParserHooks(class THtmlParser& parser);
    images::LoadedImage getPicture(const std::string& src);
    images::LoadedImage readImage(const std::string& src, bool& wait);
    void startAnimations();
    void releaseImages();
    void createPanels();
    void destroyPanels();
    void finishLoad(bool keepPosition, int oldPosition);
    void setProcessing(bool on);
    void raiseMetaRefresh();

    // printing
    int printWith(const std::function<int(TDocumentPrinter&)>& print);

    // history and links
    void historyStep(const QString& oldFile, const std::string& oldTitle, int oldPosition,
                     int oldKind);
    void addVisited(const QString& url);
    void markVisited();
    QString expandLinkName(const std::string& link) const;
    QString expandedUrl(const TUrlTarget& link) const;
    void linkClick(const std::string& url, const std::string& target);

    // layout and scrolling
    void relayout(bool keepPosition);
    void layoutDocument();
    void updateScrollBars();
    int borderWidth() const;
    bool verticalBarAllowed() const;
    bool horizontalBarAllowed() const;
    int docHeight() const;
    int docWidth() const;
    int maxTop() const;
    int maxLeft() const;
    void scrollTo(int top, int left);
    void placeControls();

    // the drawing panel's events
    void panelPaint(QPaintEvent* event);
    void panelMousePress(QMouseEvent* event);
    void panelMouseMove(QMouseEvent* event);
    void panelMouseRelease(QMouseEvent* event);
    void panelDoubleClick(QMouseEvent* event);
    void panelContextMenu(QPoint globalPos);
    void panelDragOver(QDragMoveEvent* event, TDragState state);
    void panelDragLeave();
    void panelDrop(QDropEvent* event);
    bool hitTest(QPoint panelPoint, THitResult& hit);
    void setHover(TUrlTarget* link, const std::string& url, const std::string& target);
    void hoverCheck();
    void dragScroll();
    void middleScroll();
    void endMiddleScroll();
    void extendSelection(QPoint panelPoint);
    std::string wordAt(const THitResult& hit, int* start = nullptr, int* end = nullptr) const;

    std::unique_ptr<TWidgetControlFactory> m_factory;
    std::unique_ptr<TSectionList> m_doc;
    TPaintPanel* m_panel = nullptr;
    QScrollBar* m_vbar = nullptr;
    QScrollBar* m_hbar = nullptr;
    QTimer* m_hoverTimer = nullptr;
    QTimer* m_dragTimer = nullptr;
    QTimer* m_middleTimer = nullptr;
    QTimer* m_animationTimer = nullptr;
    QMenu* m_popupMenu = nullptr;

    QString m_currentFile;
    int m_docKind = HTMLType;
    std::string m_linkUrl;
    std::string m_linkTarget;
    std::string m_hostBase;
    bool m_processing = false;
    // Set while the document is being emptied: reports from dying controls
    // are ignored.
    bool m_clearing = false;
    int m_refreshDelay = 0;
    std::string m_refreshUrl;
    std::vector<std::string> m_docImages; // cache names taken by this document
    std::vector<std::pair<std::string, TImageObj*>> m_waiting;
    // The host's widgets over the PANEL elements of the document.
    std::vector<std::pair<TPanelObj*, QPointer<QWidget>>> m_panels;

    QStringList m_history;
    std::vector<std::string> m_titleHistory;
    std::vector<PositionObj> m_positionHistory;
    // Content-Type headers of the downloaded files, by full path.
    std::map<QString, std::string> m_httpContentTypes;
    int m_historyIndex = 0;
    int m_historyMaxCount = 0;
    QStringList m_visited;
    int m_visitedMaxCount = 50;

    int m_top = 0;  // vertical scroll position, document pixels with the margin
    int m_left = 0; // horizontal scroll position
    int m_caret = 0;
    bool m_leftPressed = false;
    bool m_selecting = false;
    QPoint m_dragPoint;
    QPoint m_dropPoint; // where the last drag over the panel was
    bool m_middleMode = false;
    QPoint m_middleStart;
    int m_middleStep = 0;

    bool m_pending = false;
    std::string m_pendingAction, m_pendingTarget, m_pendingEncType, m_pendingMethod;
    std::vector<std::string> m_pendingResults;

    bool m_viewImages = true;
    QColor m_defBackground;
    THTMLBorderStyle m_borderStyle = htFocused;
    QColor m_defFontColor;
    QColor m_defHotSpotColor = Qt::blue;
    QColor m_defVisitedLinkColor = QColor(0x80, 0x00, 0x80);
    QColor m_defOverLinkColor = Qt::blue;
    bool m_noSelect = false;
    TScrollStyle m_scrollBars = ssBoth;
    int m_charSet = 1; // DEFAULT_CHARSET
    int m_marginHeight = 5;
    int m_marginWidth = 10;
    QString m_serverRoot;
    TPrintMargins m_printMargins;
    ThtmlViewerOptions m_options = 0;
    Qt::CursorShape m_textCursor = Qt::ArrowCursor;
};
