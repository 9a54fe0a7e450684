#include "html/document/image_obj.h"

#include "base/ascii.h"
#include "html/common/attribute.h"
#include "html/common/text_util.h"
#include "html/document/section_list.h"
#include "html/document/url_target.h"
#include "html/images/builtin_bitmaps.h"
#include "platform/ansi.h"

#include <algorithm>
#include <cstdlib>
#include <QPainter>

namespace {

const char* const kAltFont = "Arial";
constexpr int kBitmapSize = images::kBuiltinBitmapSize;

} // namespace

TImageObj::TImageObj(const TAttributeList& attributes)
{
    using html::Attr;
    Source = base::trimmed(attributes.TextOf(Attr::Src));
    Alt = attributes.TextOf(Attr::Alt);
    if (const TAttribute* a = attributes.Find(Attr::Align)) {
        const std::string v = base::toUpper(a->Text);
        if (v == "TOP")
            Align = AlignTop;
        else if (v == "MIDDLE" || v == "ABSMIDDLE")
            Align = AlignMiddle;
        else if (v == "LEFT")
            Align = AlignLeft;
        else if (v == "RIGHT")
            Align = AlignRight;
    }
    if (const TAttribute* a = attributes.Find(Attr::Border))
        Border = std::clamp(a->Number, 0, kMaxBorder);
    if (auto length = html::lengthOf(attributes.Find(Attr::Width))) {
        SpecWidth = length->value;
        SpecWidthPercent = length->percent;
    }
    if (const int height = html::pixelHeightOf(attributes.Find(Attr::Height)))
        SpecHeight = height;
    HSpace = Floats() ? kFloatHSpace : 0;
    if (const TAttribute* a = attributes.Find(Attr::HSpace))
        HSpace = std::min(std::abs(a->Number), kMaxSpace);
    if (const TAttribute* a = attributes.Find(Attr::VSpace))
        VSpace = std::min(std::abs(a->Number), kMaxSpace);
    Transparent = attributes.Has(Attr::Transp);
    IsMap = attributes.Has(Attr::IsMap);
    if (const TAttribute* a = attributes.Find(Attr::UseMap)) {
        std::string name = base::toUpper(base::trimmed(a->Text));
        if (auto hash = name.find('#'); hash != std::string::npos)
            name.erase(0, hash + 1);
        UseMap = name;
    }
    Active = attributes.TextOf(Attr::Active);
}

int TImageObj::BorderWidth() const
{
    if (Border >= 0)
        return Border;
    return Link ? 1 : 0;
}

void TImageObj::SetPicture(const QImage& picture)
{
    Animation.reset();
    Picture = picture;
    PictureState = picture.isNull() ? State::Error : State::Loaded;
}

void TImageObj::SetAnimation(std::unique_ptr<TGIFAnimation> animation)
{
    Animation = std::move(animation);
    Picture = QImage();
    PictureState = Animation ? State::Loaded : State::Error;
}

void TImageObj::SetError()
{
    Animation.reset();
    Picture = QImage();
    PictureState = State::Error;
}

void TImageObj::Measure(TLayoutContext& ctx, int availableWidth)
{
    int specWidth = SpecWidth;
    if (SpecWidthPercent)
        specWidth = std::max(1, availableWidth * SpecWidth / 100);
    const bool bothGiven = specWidth > 0 && SpecHeight > 0;

    int naturalW = kBitmapSize;
    int naturalH = kBitmapSize;
    if (PictureState == State::Loaded) {
        naturalW = std::max(1, CurrentPicture().width());
        naturalH = std::max(1, CurrentPicture().height());
    }
    if (bothGiven) {
        ObjWidth = specWidth;
        ObjHeight = SpecHeight;
    } else if (specWidth > 0) {
        ObjWidth = specWidth;
        ObjHeight = std::max(1, naturalH * specWidth / naturalW);
    } else if (SpecHeight > 0) {
        ObjHeight = SpecHeight;
        ObjWidth = std::max(1, naturalW * SpecHeight / naturalH);
    } else {
        ObjWidth = naturalW;
        ObjHeight = naturalH;
    }
    if (PictureState != State::Loaded && !bothGiven) {
        const TFontMetrics& m = ctx.fonts.metrics(kAltFont, kAltPointSize);
        ObjWidth = std::max(ObjWidth, m.textWidth(Alt) + kAltMargin);
        ObjHeight = std::max({ObjHeight, kMinPlaceholderHeight, m.height()});
    }
}

void TImageObj::Draw(TPaintContext& ctx)
{
    QPainter& p = ctx.painter;
    const int x = Left + ctx.dx;
    const int y = Top + ctx.dy;
    if (const int bw = BorderWidth(); bw > 0) {
        const QColor color = Link ? (Link->Visited ? ctx.doc.VisitedColor : ctx.doc.HotSpotColor)
                                  : ctx.doc.FontColor;
        p.fillRect(x - bw, y - bw, ObjWidth + 2 * bw, bw, color);
        p.fillRect(x - bw, y + ObjHeight, ObjWidth + 2 * bw, bw, color);
        p.fillRect(x - bw, y, bw, ObjHeight, color);
        p.fillRect(x + ObjWidth, y, bw, ObjHeight, color);
    }
    if (PictureState == State::Loaded) {
        p.drawImage(QRect(x, y, ObjWidth, ObjHeight), CurrentPicture());
        return;
    }
    // No picture: a bevelled box with the built-in bitmap and the ALT text.
    p.save();
    p.setClipRect(QRect(x, y, ObjWidth, ObjHeight), Qt::IntersectClip);
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawLine(x, y, x + ObjWidth - 1, y);
    p.drawLine(x, y, x, y + ObjHeight - 1);
    p.setPen(QColor(0xDF, 0xDF, 0xDF));
    p.drawLine(x + ObjWidth - 1, y, x + ObjWidth - 1, y + ObjHeight - 1);
    p.drawLine(x, y + ObjHeight - 1, x + ObjWidth - 1, y + ObjHeight - 1);
    p.drawImage(x + 4, y + 4,
                PictureState == State::Error ? images::errorBitmap() : images::placeholderBitmap());
    if (!Alt.empty()) {
        const TFontMetrics& m = ctx.fonts.metrics(kAltFont, kAltPointSize);
        p.setFont(m.font);
        p.setPen(ctx.doc.FontColor);
        p.drawText(QPoint(x + kBitmapSize + 6, y + 4 + m.ascent), platform::fromAnsi(Alt));
    }
    p.restore();
}

void TImageObj::Dump(TDumpWriter& out) const
{
    static const char* const kAlign[] = {"top", "middle", "bottom", "left", "right"};
    out.line("image x=" + std::to_string(Left) + " y=" + std::to_string(Top) +
             " w=" + std::to_string(ObjWidth) + " h=" + std::to_string(ObjHeight) +
             " align=" + kAlign[std::clamp(Align, 0, 4)] + " src=\"" + Source + "\"" +
             (PictureState == State::Loaded ? "" : " placeholder"));
}

TPanelObj::TPanelObj(const TAttributeList& attributes)
{
    using html::Attr;
    Name = attributes.TextOf(Attr::Name);
    if (auto length = html::lengthOf(attributes.Find(Attr::Width))) {
        SpecWidth = length->value;
        SpecWidthPercent = length->percent;
    }
    if (const int height = html::pixelHeightOf(attributes.Find(Attr::Height)))
        SpecHeight = height;
    if (html::textIs(attributes.Find(Attr::Align), "left"))
        Align = AlignLeft;
    else if (html::textIs(attributes.Find(Attr::Align), "right"))
        Align = AlignRight;
    if (const TAttribute* a = attributes.Find(Attr::HSpace))
        HSpace = std::min(std::abs(a->Number), TImageObj::kMaxSpace);
    if (const TAttribute* a = attributes.Find(Attr::VSpace))
        VSpace = std::min(std::abs(a->Number), TImageObj::kMaxSpace);
}

void TPanelObj::Measure(TLayoutContext&, int availableWidth)
{
    ObjWidth = SpecWidth > 0 ? (SpecWidthPercent ? availableWidth * SpecWidth / 100 : SpecWidth)
                             : kDefaultSize;
    ObjWidth = std::max(ObjWidth, 1);
    ObjHeight = SpecHeight > 0 ? SpecHeight : kDefaultSize;
}

void TPanelObj::Draw(TPaintContext& ctx)
{
    ctx.painter.save();
    ctx.painter.setPen(QColor(0x80, 0x80, 0x80));
    ctx.painter.setBrush(QColor(0xF0, 0xF0, 0xF0));
    ctx.painter.drawRect(Left + ctx.dx, Top + ctx.dy, ObjWidth - 1, ObjHeight - 1);
    ctx.painter.restore();
}

void TPanelObj::Dump(TDumpWriter& out) const
{
    out.line("panel x=" + std::to_string(Left) + " y=" + std::to_string(Top) +
             " w=" + std::to_string(ObjWidth) + " h=" + std::to_string(ObjHeight));
}
