#include "html/document/section_list.h"

#include "html/document/form_control_obj.h"
#include "html/document/html_form.h"
#include "html/document/image_obj.h"
#include "html/document/map_item.h"
#include "html/document/url_target.h"

#include <algorithm>
#include <QPainter>

TSectionList::TSectionList() : TCell(this) {}

TSectionList::~TSectionList()
{
    // Blocks refer to the forms' controls; drop them first.
    m_blocks.clear();
}

void TSectionList::Clear()
{
    m_blocks.clear();
    Forms.clear();
    FormControlList.clear();
    Links.clear();
    Maps.clear();
    ImageList.clear();
    AnchorList.clear();
    SelStart = SelEnd = 0;
    HoverLink = nullptr;
    Title.clear();
    Base.clear();
    BaseTarget.clear();
    BackgroundName.clear();
    BackgroundImage = QImage();
    BackgroundSet = false;
    FontColor = DefFontColor;
    HotSpotColor = DefHotSpotColor;
    VisitedColor = DefVisitedLinkColor;
    OverColor = DefOverLinkColor;
    Background = DefBackground;
    m_docHeight = m_maxWidth = 0;
}

void TSectionList::SetDefFontName(const std::string& name)
{
    m_defFontName = name.substr(0, kMaxFontNameLength);
}

void TSectionList::SetDefPreFontName(const std::string& name)
{
    m_defPreFontName = name.substr(0, kMaxFontNameLength);
}

void TSectionList::SetDefFontSize(int size)
{
    m_defFontSize = std::max(1, size);
    m_fonts.setDefFontSize(m_defFontSize);
}

int TSectionList::DoLogic(int width)
{
    m_layoutWidth = width;
    for (TFormControlObj* control : FormControlList)
        control->FitToCanvas(m_fonts);
    TLayoutContext ctx{*this, m_fonts};
    m_docHeight = TCell::DoLogic(ctx, 0, 0, width);
    m_maxWidth = std::max(width, ctx.maxRight);
    return m_docHeight;
}

void TSectionList::drawBackground(QPainter& painter, const QRect& clip, int originX, int originY)
{
    const QRect target = clip.translated(originX, originY);
    if (ViewImages && !Printing && !BackgroundImage.isNull()) {
        // Tiles start at the document origin so that they scroll with the text.
        const int w = BackgroundImage.width();
        const int h = BackgroundImage.height();
        painter.fillRect(target, Background);
        const int firstX = clip.left() - ((clip.left() % w) + w) % w;
        const int firstY = clip.top() - ((clip.top() % h) + h) % h;
        painter.save();
        painter.setClipRect(target, Qt::IntersectClip);
        for (int y = firstY; y <= clip.bottom(); y += h)
            for (int x = firstX; x <= clip.right(); x += w)
                painter.drawImage(x + originX, y + originY, BackgroundImage);
        painter.restore();
        return;
    }
    painter.fillRect(target, Background);
}

void TSectionList::Draw(QPainter& painter, const QRect& clip, int originX, int originY)
{
    drawBackground(painter, clip, originX, originY);
    TPaintContext ctx{painter, *this, m_fonts, clip, originX, originY, Background, Printing};
    painter.save();
    painter.setClipRect(clip.translated(originX, originY), Qt::IntersectClip);
    TCell::Draw(ctx);
    painter.restore();
}

bool TSectionList::HitTest(int x, int y, THitResult& hit)
{
    TLayoutContext ctx{*this, m_fonts};
    if (!TCell::HitTest(ctx, x, y, hit))
        return false;
    if (hit.image) {
        if (!hit.image->UseMap.empty()) {
            if (TMapItem* map = FindMap(hit.image->UseMap))
                map->GetURL(hit.imageX, hit.imageY, hit.url, hit.target);
        } else if (hit.image->IsMap && hit.link) {
            hit.url =
                hit.link->Url + "?" + std::to_string(hit.imageX) + "," + std::to_string(hit.imageY);
            hit.target = hit.link->Target;
        }
    }
    if (hit.url.empty() && hit.link) {
        hit.url = hit.link->Url;
        hit.target = hit.link->Target;
    }
    return true;
}

std::string TSectionList::SelectedText() const
{
    std::string out;
    if (SelStart < SelEnd)
        CopyText(SelStart, SelEnd, out);
    while (out.size() >= 2 && out.compare(out.size() - 2, 2, "\r\n") == 0)
        out.resize(out.size() - 2);
    return out;
}

int TSectionList::AnchorPosition(const std::string& name) const
{
    for (const auto& [anchor, block] : AnchorList)
        if (anchor == name)
            return block->YPosition;
    return -1;
}

TMapItem* TSectionList::FindMap(const std::string& upperName) const
{
    for (const auto& map : Maps)
        if (map->MapName == upperName)
            return map.get();
    return nullptr;
}

void TSectionList::LoadImages()
{
    if (!ViewImages)
        return;
    for (TImageObj* image : ImageList) {
        if (GetPicture) {
            images::LoadedImage loaded = GetPicture(image->Source);
            if (!loaded.ok()) {
                image->SetError();
            } else if (loaded.animated()) {
                image->SetAnimation(std::make_unique<TGIFAnimation>(loaded.gif));
            } else {
                image->SetPicture(loaded.image);
            }
            continue;
        }
        QImage picture;
        if (GetImage && GetImage(image->Source, picture) && !picture.isNull())
            image->SetPicture(picture);
        else
            image->SetError();
    }
    if (!BackgroundName.empty()) {
        if (GetPicture) {
            images::LoadedImage loaded = GetPicture(BackgroundName);
            if (loaded.ok())
                BackgroundImage = loaded.image;
        } else if (GetImage) {
            QImage picture;
            if (GetImage(BackgroundName, picture))
                BackgroundImage = picture;
        }
    }
}

bool TSectionList::HasAnimations() const
{
    return std::any_of(ImageList.begin(), ImageList.end(),
                       [](const TImageObj* image) { return image->Animation != nullptr; });
}

bool TSectionList::AdvanceAnimations(int elapsedMs)
{
    bool changed = false;
    for (TImageObj* image : ImageList)
        if (image->Animation && image->Animation->Advance(elapsedMs))
            changed = true;
    return changed;
}

std::string TSectionList::DumpLayout() const
{
    TDumpWriter out;
    out.line("document w=" + std::to_string(m_layoutWidth) + " h=" + std::to_string(m_docHeight) +
             " maxw=" + std::to_string(m_maxWidth));
    out.indent();
    TCell::Dump(out);
    out.outdent();
    return out.text();
}
