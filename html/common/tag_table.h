#pragma once

#include <string_view>

// The tags and attributes the parser knows. Every other name reads as
// UnknownTag / UnknownAttr and is skipped.
namespace html {

// The first kEndTagCount symbols also have an end tag; the rest never do.
enum class Tag : unsigned char {
    Html,
    Head,
    Title,
    Body,
    B,
    Strong,
    I,
    Em,
    Cite,
    Var,
    U,
    S,
    Strike,
    Sub,
    Sup,
    Tt,
    Code,
    Kbd,
    Samp,
    H,
    P,
    Center,
    Div,
    Ol,
    Ul,
    Dir,
    Menu,
    Dl,
    Blockquote,
    Address,
    Pre,
    A,
    Table,
    Tr,
    Td,
    Th,
    Caption,
    Form,
    Select,
    Option,
    Textarea,
    Font,
    Big,
    Small,
    Map,
    Script,
    Nobr,
    Frameset,
    Noframes,
    Button,
    Style,
    // Tags without an end tag.
    Br,
    Hr,
    Li,
    Dd,
    Dt,
    Img,
    Panel,
    Input,
    Selected,
    Basefont,
    Base,
    Meta,
    Area,
    Bgsound,
    Page,
    Wbr,
    Frame,
    Wrap,
    // Not tags: the other kinds of token.
    UnknownTag,
    Text,
    Eof
};

inline constexpr int kTagCount = static_cast<int>(Tag::UnknownTag);
inline constexpr int kEndTagCount = static_cast<int>(Tag::Br);
inline constexpr int kTokenKindCount = static_cast<int>(Tag::Eof) + 1;

enum class Attr : unsigned char {
    Href,
    Name,
    Src,
    Alt,
    Align,
    Text,
    BgColor,
    Link,
    Background,
    ColSpan,
    RowSpan,
    Border,
    CellPadding,
    CellSpacing,
    VAlign,
    Width,
    Start,
    Value,
    Type,
    Checkbox,
    Radio,
    Method,
    Action,
    Checked,
    Size,
    MaxLength,
    Cols,
    Rows,
    Multiple,
    Selected,
    Face,
    Color,
    Transp,
    Clear,
    IsMap,
    BorderColor,
    UseMap,
    Shape,
    Coords,
    NoHref,
    Height,
    Plain,
    Target,
    NoResize,
    Scrolling,
    HSpace,
    Language,
    FrameBorder,
    MarginWidth,
    MarginHeight,
    Loop,
    OnClick,
    Wrap,
    NoShade,
    HttpEquiv,
    Content,
    EncType,
    VLink,
    OLink,
    Active,
    VSpace,
    InitOp,
    TopMargin,
    LeftMargin,
    UnknownAttr
};

// Looks up an upper-case tag name. Returns Tag::UnknownTag for names not in
// the table.
Tag lookupTag(std::string_view upperName);

// Whether the tag may appear as an end tag.
constexpr bool hasEndTag(Tag tag)
{
    return static_cast<int>(tag) < kEndTagCount;
}

// Looks up an upper-case attribute name.
Attr lookupAttr(std::string_view upperName);

// Upper-case name of a tag, for dumps and messages.
std::string_view tagName(Tag tag);

// Whether a start tag of this kind keeps its attributes for the parser.
bool tagTakesAttributes(Tag tag);

} // namespace html
