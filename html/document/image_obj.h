#pragma once

#include "html/images/gif_animation.h"
#include "html/layout/floating_obj.h"

#include <memory>
#include <QImage>
#include <string>

class TFormControlObj;
struct TUrlTarget;
class TAttributeList;

// An inline image (IMG, or the picture of an image input). It shows the
// decoded picture, or while images are off or when the picture cannot be
// loaded a small built-in bitmap in a box wide enough for the ALT text.
class TImageObj : public TFloatingObj {
public:
    enum class State { Placeholder, Loaded, Error };

    // Box around images that show no picture: at least this high, and the
    // ALT text width plus kAltMargin wide.
    static constexpr int kMinPlaceholderHeight = 24;
    static constexpr int kAltMargin = 26;
    static constexpr double kAltPointSize = 8;
    static constexpr int kMaxSpace = 40;
    // A thicker frame than this is no frame a page means.
    static constexpr int kMaxBorder = 20;
    static constexpr int kFloatHSpace = 5;

    explicit TImageObj(const TAttributeList& attributes);

    void Measure(TLayoutContext& ctx, int availableWidth) override;
    void Draw(TPaintContext& ctx) override;
    void Dump(TDumpWriter& out) const override;
    int BorderWidth() const override;

    // Gives the decoded picture (State Loaded) or marks it unloadable.
    void SetPicture(const QImage& picture);
    // Gives an animated picture; its current frame is what gets drawn.
    void SetAnimation(std::unique_ptr<TGIFAnimation> animation);
    // The picture to draw now.
    const QImage& CurrentPicture() const { return Animation ? Animation->CurrentImage() : Picture; }
    void SetError();

    std::string Source;
    std::string Alt;
    int Border = -1; // -1 when BORDER is absent
    bool Transparent = false;
    bool IsMap = false;
    std::string UseMap; // map name in upper case without "#"
    std::string Active;
    TFormControlObj* FormControl = nullptr;
    TUrlTarget* Link = nullptr;
    State PictureState = State::Placeholder;
    QImage Picture;
    std::unique_ptr<TGIFAnimation> Animation;
};

// A PANEL element: an empty box of the given size that the host may fill.
class TPanelObj : public TFloatingObj {
public:
    static constexpr int kDefaultSize = 100;

    explicit TPanelObj(const TAttributeList& attributes);
    void Measure(TLayoutContext& ctx, int availableWidth) override;
    void Draw(TPaintContext& ctx) override;
    void Dump(TDumpWriter& out) const override;

    std::string Name;
};
