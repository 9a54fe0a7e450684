#pragma once

#include "html/document/cell.h"
#include "html/images/image_loader.h"
#include "html/layout/font_cache.h"

#include <functional>
#include <memory>
#include <QColor>
#include <QImage>
#include <string>
#include <utility>
#include <vector>

class ThtmlForm;
class TFormControlObj;
class TFormControlFactory;
class TImageObj;
class TMapItem;
struct TUrlTarget;

// The document: the body's blocks plus everything the page shares (fonts,
// colours, background, links, forms, image maps, anchors, selection). The
// parser fills it, the viewer lays it out, paints it and asks it what lies
// under the pointer.
class TSectionList : public TCell {
public:
    static constexpr std::size_t kMaxFontNameLength = 32;

    TSectionList();
    ~TSectionList() override;

    // Empties the document: blocks, forms, links, maps, anchors, selection
    // and the parse results. The settings stay.
    void Clear();

    void SetDefFontName(const std::string& name);
    void SetDefPreFontName(const std::string& name);
    const std::string& DefFontName() const { return m_defFontName; }
    const std::string& DefPreFontName() const { return m_defPreFontName; }
    void SetDefFontSize(int size);
    int DefFontSize() const { return m_defFontSize; }

    // Lays the document out in the given width; returns its height.
    int DoLogic(int width);
    int DocHeight() const { return m_docHeight; }
    // The widest the content came out (more than the layout width when
    // something overflows).
    int MaxWidth() const { return m_maxWidth; }
    int LayoutWidth() const { return m_layoutWidth; }

    // Paints the part clip (document coordinates) with the document origin
    // at (originX, originY) on the painter's device: background, blocks and
    // selection.
    void Draw(QPainter& painter, const QRect& clip, int originX, int originY);

    // What lies under a point of the document.
    bool HitTest(int x, int y, THitResult& hit);
    // The selected text (between SelStart and SelEnd), lines ended by CR LF.
    std::string SelectedText() const;
    // The document position of an anchor (upper case, leading "#" removed),
    // or -1.
    int AnchorPosition(const std::string& name) const;
    TMapItem* FindMap(const std::string& upperName) const;
    // Asks GetImage for the picture of every image (images on), or leaves
    // placeholders (images off).
    void LoadImages();

    // Animated images: the viewer runs a timer of kAnimationInterval
    // milliseconds while HasAnimations() and repaints when AdvanceAnimations
    // reports a frame change.
    static constexpr int kAnimationInterval = 50;
    bool HasAnimations() const;
    bool AdvanceAnimations(int elapsedMs);

    // Text of the laid-out model, for tests and the render tool.
    std::string DumpLayout() const;

    TFontCache& Fonts() { return m_fonts; }

    // ---- settings ----
    QColor DefFontColor = Qt::black;
    QColor DefHotSpotColor = Qt::blue;
    QColor DefVisitedLinkColor = QColor(0x80, 0x00, 0x80);
    QColor DefOverLinkColor = Qt::blue;
    QColor DefBackground = Qt::white;
    bool HoverColoring = false; // htOverLinksActive
    bool LinkUnderline = true;  // cleared by htNoLinkUnderline
    bool ViewImages = true;
    bool Printing = false;
    // Whether table cells keep their background colours on paper.
    bool PrintTableBackground = false;
    QColor SelectionColor = QColor(0x30, 0x8C, 0xC6);
    QColor SelectionTextColor = Qt::white;
    // Picture of an image SRC, asked while loading images; false when it
    // cannot be had (the image then shows the error bitmap).
    std::function<bool(const std::string& src, QImage& picture)> GetImage;
    // The same with the whole decoded image, so that animated GIFs move;
    // asked before GetImage when set.
    std::function<images::LoadedImage(const std::string& src)> GetPicture;
    // Makes the form controls; null gives drawn look-alikes.
    TFormControlFactory* ControlFactory = nullptr;

    // ---- page settings and parse results ----
    QColor FontColor = Qt::black;   // BODY TEXT, else DefFontColor
    QColor HotSpotColor = Qt::blue; // BODY LINK
    QColor VisitedColor = QColor(0x80, 0x00, 0x80);
    QColor OverColor = Qt::blue;
    QColor Background = Qt::white;
    bool BackgroundSet = false;
    std::string BackgroundName;
    QImage BackgroundImage;
    std::string Title;
    std::string Base;
    std::string BaseTarget;

    // ---- owned content ----
    std::vector<std::unique_ptr<ThtmlForm>> Forms;
    std::vector<TFormControlObj*> FormControlList;
    std::vector<std::unique_ptr<TUrlTarget>> Links;
    std::vector<std::unique_ptr<TMapItem>> Maps;
    std::vector<TImageObj*> ImageList;
    // Anchor names (upper case) with the block that holds them.
    std::vector<std::pair<std::string, TSectionBase*>> AnchorList;

    // ---- selection and hover ----
    int SelStart = 0;
    int SelEnd = 0;
    TUrlTarget* HoverLink = nullptr;

private:
    void drawBackground(QPainter& painter, const QRect& clip, int originX, int originY);

    std::string m_defFontName = "Times New Roman";
    std::string m_defPreFontName = "Courier New";
    int m_defFontSize = 12;
    TFontCache m_fonts;
    int m_docHeight = 0;
    int m_maxWidth = 0;
    int m_layoutWidth = 0;
};
