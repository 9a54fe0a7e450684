// Draws the program's pictures: the tool-bar and editor buttons and the
// program icon. Every picture is drawn on a 32 x 32 grid and scaled, so all
// sizes come from one drawing. Run it after changing a picture:
//
//   cmake --build BUILD --target draw_icons && BUILD/app/icons/draw_icons app/icons
//
// The pictures are PNGs with an alpha channel and a clear corner pixel, so
// they also work where the corner pixel names the transparent colour.
#include <cmath>
#include <cstdio>
#include <functional>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace {

// One palette for every picture.
const QColor kOutline(0x2a, 0x33, 0x40);
const QColor kPaper(0xfd, 0xfd, 0xfb);
const QColor kPaperShade(0xdc, 0xe3, 0xea);
const QColor kInk(0x8a, 0x97, 0xa6);
const QColor kBlue(0x2f, 0x74, 0xd0);
const QColor kBlueLight(0x7f, 0xb4, 0xf0);
const QColor kBlueDark(0x1b, 0x4c, 0x96);
const QColor kGreen(0x3c, 0xa8, 0x4a);
const QColor kGreenLight(0x8b, 0xd8, 0x7a);
const QColor kGreenDark(0x23, 0x74, 0x30);
const QColor kFolder(0xf2, 0xb9, 0x3b);
const QColor kFolderLight(0xfb, 0xdb, 0x7e);
const QColor kFolderDark(0xb9, 0x80, 0x1c);
const QColor kPencil(0xf5, 0xa6, 0x23);
const QColor kPencilWood(0xf3, 0xd4, 0xa0);
const QColor kRed(0xd9, 0x48, 0x3b);
const QColor kMetal(0xc9, 0xd0, 0xd8);
const QColor kStripStart(233, 217, 27);
const QColor kStripEnd(248, 242, 173);

constexpr double kGrid = 32.0;
constexpr double kLine = 1.2; // outline width on the 32 grid

// Lines keep their width on the grid up to 32 pixels; larger pictures get
// relatively thinner lines, so that a 256-pixel icon does not look heavy.
double g_lineScale = 1.0;

double lw(double width)
{
    return width * g_lineScale;
}

QPen outline(double width = kLine)
{
    return QPen(kOutline, lw(width), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QLinearGradient vertical(double top, double bottom, const QColor& a, const QColor& b)
{
    QLinearGradient g(0, top, 0, bottom);
    g.setColorAt(0, a);
    g.setColorAt(1, b);
    return g;
}

// A sheet of paper with a folded corner and a few lines of text.
void paper(QPainter& p, QRectF r, int lines)
{
    const double fold = 6;
    QPainterPath sheet;
    sheet.moveTo(r.left(), r.top());
    sheet.lineTo(r.right() - fold, r.top());
    sheet.lineTo(r.right(), r.top() + fold);
    sheet.lineTo(r.right(), r.bottom());
    sheet.lineTo(r.left(), r.bottom());
    sheet.closeSubpath();
    p.setPen(outline());
    p.setBrush(vertical(r.top(), r.bottom(), kPaper, kPaperShade));
    p.drawPath(sheet);
    QPainterPath corner;
    corner.moveTo(r.right() - fold, r.top());
    corner.lineTo(r.right() - fold, r.top() + fold);
    corner.lineTo(r.right(), r.top() + fold);
    p.setBrush(kPaperShade);
    p.drawPath(corner);
    p.setPen(QPen(kInk, lw(1.4), Qt::SolidLine, Qt::FlatCap));
    for (int i = 0; i < lines; ++i) {
        const double y = r.top() + fold + 3 + i * 3.5;
        if (y > r.bottom() - 2)
            break;
        p.drawLine(QPointF(r.left() + 3, y), QPointF(r.right() - 3 - (i % 2) * 3, y));
    }
}

// A pencil from its tip towards the top right, `length` units long.
void pencil(QPainter& p, QPointF tip, double length)
{
    p.save();
    p.translate(tip);
    p.rotate(-45);
    const double w = 5;
    QPainterPath wood;
    wood.moveTo(0, 0);
    wood.lineTo(5, -w / 2);
    wood.lineTo(5, w / 2);
    wood.closeSubpath();
    QRectF body(5, -w / 2, length - 9, w);
    QRectF cap(length - 4, -w / 2, 4, w);
    p.setPen(outline());
    p.setBrush(kPencil);
    p.drawRect(body);
    p.setBrush(kRed);
    p.drawRoundedRect(cap, 1, 1);
    p.setBrush(kPencilWood);
    p.drawPath(wood);
    p.setPen(Qt::NoPen);
    p.setBrush(kOutline);
    p.drawEllipse(QPointF(1.2, 0), 1.1, 1.1);
    p.setPen(QPen(QColor(255, 255, 255, 120), lw(1)));
    p.drawLine(QPointF(6, -0.8), QPointF(length - 5, -0.8));
    p.restore();
}

// A globe with meridians and parallels.
void globe(QPainter& p, QPointF c, double r)
{
    QRadialGradient sea(c - QPointF(r / 3, r / 3), r * 1.4);
    sea.setColorAt(0, kBlueLight);
    sea.setColorAt(1, kBlue);
    p.setPen(outline());
    p.setBrush(sea);
    p.drawEllipse(c, r, r);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 190), lw(1.0)));
    p.drawEllipse(c, r * 0.45, r - 0.6);
    p.drawLine(QPointF(c.x(), c.y() - r + 0.6), QPointF(c.x(), c.y() + r - 0.6));
    p.drawLine(QPointF(c.x() - r + 0.6, c.y()), QPointF(c.x() + r - 0.6, c.y()));
    const double dy = r * 0.5;
    const double dx = std::sqrt(r * r - dy * dy) - 0.6;
    p.drawLine(QPointF(c.x() - dx, c.y() - dy), QPointF(c.x() + dx, c.y() - dy));
    p.drawLine(QPointF(c.x() - dx, c.y() + dy), QPointF(c.x() + dx, c.y() + dy));
    p.setPen(outline());
    p.drawEllipse(c, r, r);
}

// A fat arrow pointing down, its tip at `tip`.
void arrowDown(QPainter& p, QPointF tip, double width, double height, const QColor& light,
               const QColor& dark)
{
    const double shaft = width * 0.45;
    const double head = height * 0.5;
    QPainterPath a;
    a.moveTo(tip);
    a.lineTo(tip.x() - width / 2, tip.y() - head);
    a.lineTo(tip.x() - shaft / 2, tip.y() - head);
    a.lineTo(tip.x() - shaft / 2, tip.y() - height);
    a.lineTo(tip.x() + shaft / 2, tip.y() - height);
    a.lineTo(tip.x() + shaft / 2, tip.y() - head);
    a.lineTo(tip.x() + width / 2, tip.y() - head);
    a.closeSubpath();
    p.setPen(outline());
    p.setBrush(vertical(tip.y() - height, tip.y(), light, dark));
    p.drawPath(a);
}

// A folder seen from the front; `open` tilts the front flap.
void folder(QPainter& p, QRectF r, bool open)
{
    QPainterPath back;
    back.moveTo(r.left(), r.bottom());
    back.lineTo(r.left(), r.top() + 2);
    back.quadTo(r.left(), r.top(), r.left() + 2, r.top());
    back.lineTo(r.left() + 9, r.top());
    back.lineTo(r.left() + 11, r.top() + 3);
    back.lineTo(r.right(), r.top() + 3);
    back.lineTo(r.right(), r.bottom());
    back.closeSubpath();
    p.setPen(outline());
    p.setBrush(vertical(r.top(), r.bottom(), kFolder, kFolderDark));
    p.drawPath(back);

    QPainterPath front;
    const double top = r.top() + 8;
    if (open) {
        front.moveTo(r.left(), r.bottom());
        front.lineTo(r.left() + 4, top);
        front.lineTo(r.right() + 3, top);
        front.lineTo(r.right(), r.bottom());
    } else {
        front.moveTo(r.left(), r.bottom());
        front.lineTo(r.left(), top);
        front.lineTo(r.right(), top);
        front.lineTo(r.right(), r.bottom());
    }
    front.closeSubpath();
    p.setBrush(vertical(top, r.bottom(), kFolderLight, kFolder));
    p.drawPath(front);
}

// A floppy disk: blue shell, metal shutter, white label.
void disk(QPainter& p, QRectF r)
{
    QPainterPath shell;
    const double cut = 4;
    shell.moveTo(r.left() + 1.5, r.top());
    shell.lineTo(r.right() - cut, r.top());
    shell.lineTo(r.right(), r.top() + cut);
    shell.lineTo(r.right(), r.bottom() - 1.5);
    shell.quadTo(r.right(), r.bottom(), r.right() - 1.5, r.bottom());
    shell.lineTo(r.left() + 1.5, r.bottom());
    shell.quadTo(r.left(), r.bottom(), r.left(), r.bottom() - 1.5);
    shell.lineTo(r.left(), r.top() + 1.5);
    shell.quadTo(r.left(), r.top(), r.left() + 1.5, r.top());
    p.setPen(outline());
    p.setBrush(vertical(r.top(), r.bottom(), kBlue, kBlueDark));
    p.drawPath(shell);

    const double w = r.width();
    QRectF shutter(r.left() + w * 0.25, r.top(), w * 0.5, r.height() * 0.34);
    p.setBrush(vertical(shutter.top(), shutter.bottom(), QColor(0xee, 0xf1, 0xf4), kMetal));
    p.drawRect(shutter);
    p.setPen(Qt::NoPen);
    p.setBrush(kBlueDark);
    p.drawRect(QRectF(shutter.left() + shutter.width() * 0.58, shutter.top() + 1.6,
                      shutter.width() * 0.22, shutter.height() - 3.2));

    QRectF label(r.left() + 3.5, r.top() + r.height() * 0.5, w - 7, r.height() * 0.5 - 1.5);
    p.setPen(outline(1.0));
    p.setBrush(kPaper);
    p.drawRoundedRect(label, 1, 1);
    p.setPen(QPen(kInk, lw(1.2), Qt::SolidLine, Qt::FlatCap));
    for (int i = 0; i < 2; ++i) {
        const double y = label.top() + 3.5 + i * 3.5;
        p.drawLine(QPointF(label.left() + 2.5, y), QPointF(label.right() - 2.5, y));
    }
}

// A paper plane flying to the upper right.
void plane(QPainter& p, double scale, QPointF offset, const QColor& top, const QColor& under)
{
    p.save();
    p.translate(offset);
    p.scale(scale, scale);
    QPainterPath upper;
    upper.moveTo(2, 15);
    upper.lineTo(29, 3);
    upper.lineTo(12, 19);
    upper.closeSubpath();
    QPainterPath lower;
    lower.moveTo(12, 19);
    lower.lineTo(29, 3);
    lower.lineTo(20, 27);
    lower.closeSubpath();
    QPainterPath fold;
    fold.moveTo(12, 19);
    fold.lineTo(13, 26);
    fold.lineTo(16.5, 22);
    fold.closeSubpath();
    p.setPen(QPen(kOutline, lw(kLine) / scale, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(under);
    p.drawPath(fold);
    p.setBrush(top);
    p.drawPath(upper);
    p.setBrush(under);
    p.drawPath(lower);
    p.restore();
}

// --- the pictures -----------------------------------------------------------

void drawProfile(QPainter& p)
{
    // An identity card with a portrait, and a pencil to edit it.
    QRectF card(2, 6, 24, 19);
    p.setPen(outline());
    p.setBrush(vertical(card.top(), card.bottom(), kPaper, kPaperShade));
    p.drawRoundedRect(card, 2.5, 2.5);
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    p.drawRoundedRect(QRectF(card.left() + 0.6, card.top() + 0.6, card.width() - 1.2, 3.4), 2, 2);
    // Portrait.
    p.setPen(outline(1.0));
    p.setBrush(kBlueLight);
    p.drawEllipse(QPointF(9.5, 13.2), 3, 3);
    QPainterPath shoulders;
    shoulders.moveTo(4.2, 23);
    shoulders.cubicTo(4.2, 17, 14.8, 17, 14.8, 23);
    shoulders.closeSubpath();
    p.setBrush(kBlue);
    p.drawPath(shoulders);
    // Name lines.
    p.setPen(QPen(kInk, lw(1.5), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(17.5, 12), QPointF(23, 12));
    p.drawLine(QPointF(17.5, 16), QPointF(22, 16));
    p.drawLine(QPointF(17.5, 20), QPointF(20.5, 20));
    pencil(p, QPointF(17, 29.5), 20);
}

void drawSubmit(QPainter& p)
{
    // A paper plane on its way, with a trail behind it.
    p.setPen(QPen(kBlue, lw(1.5), Qt::DashLine, Qt::RoundCap));
    QPainterPath trail;
    trail.moveTo(3, 29);
    trail.quadTo(5, 22, 11, 22);
    p.setBrush(Qt::NoBrush);
    p.drawPath(trail);
    plane(p, 0.95, QPointF(1.5, 1), kPaper, kBlueLight);
}

void drawDownload(QPainter& p)
{
    // The web, and an arrow bringing a page down from it.
    globe(p, QPointF(12.5, 12.5), 10.5);
    arrowDown(p, QPointF(23.5, 30.5), 12, 15, kGreenLight, kGreen);
}

void drawOpenLocal(QPainter& p)
{
    // A web page taken out of a folder on this computer.
    folder(p, QRectF(1.5, 9, 25, 20), true);
    globe(p, QPointF(22.5, 9.5), 7.5);
}

void drawOpen(QPainter& p)
{
    // A document coming out of an open folder.
    paper(p, QRectF(8, 2.5, 17, 19), 4);
    folder(p, QRectF(1.5, 10, 26, 19), true);
}

void drawSave(QPainter& p)
{
    disk(p, QRectF(3.5, 3.5, 25, 25));
}

void drawSaveAs(QPainter& p)
{
    disk(p, QRectF(1.5, 1.5, 23, 23));
    pencil(p, QPointF(16, 30.5), 19);
}

void drawStart(QPainter& p)
{
    // A green start button with a paper plane, the run's picture.
    QRadialGradient g(QPointF(12, 10), 20);
    g.setColorAt(0, kGreenLight);
    g.setColorAt(1, kGreenDark);
    p.setPen(outline());
    p.setBrush(g);
    p.drawEllipse(QPointF(16, 16), 13.5, 13.5);
    QPainterPath play;
    play.moveTo(12.5, 9);
    play.lineTo(23.5, 16);
    play.lineTo(12.5, 23);
    play.closeSubpath();
    p.setPen(QPen(kGreenDark, lw(1.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(kPaper);
    p.drawPath(play);
}

void drawProgram(QPainter& p)
{
    // A tile in the tool strip's colours, a globe, and a paper plane
    // setting off from it.
    QRectF tile(1.5, 1.5, 29, 29);
    QLinearGradient g(0, tile.top(), 0, tile.bottom());
    g.setColorAt(0, kStripStart);
    g.setColorAt(1, kStripEnd);
    p.setPen(QPen(QColor(0x9a, 0x7c, 0x10), lw(1.0)));
    p.setBrush(g);
    p.drawRoundedRect(tile, 6.5, 6.5);
    globe(p, QPointF(13, 18.5), 9.5);
    QPainterPath trail;
    trail.moveTo(4.5, 11.5);
    trail.quadTo(6.5, 5.5, 14, 8.5);
    p.setPen(QPen(kBlueDark, lw(1.3), Qt::DashLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(trail);
    plane(p, 0.56, QPointF(12.4, 4.4), kPaper, kBlueLight);
}

struct Picture {
    const char* name;
    std::function<void(QPainter&)> draw;
    std::vector<int> sizes;
};

QImage render(const Picture& picture, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / kGrid, size / kGrid);
    g_lineScale = size > kGrid ? std::sqrt(kGrid / size) : 1.0;
    picture.draw(painter);
    painter.end();
    // Straight alpha, so every clear pixel is stored as 0, 0, 0, 0.
    return image.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: draw_icons OUTPUT_FOLDER\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const std::vector<int> buttonSizes = {16, 24, 32};
    const Picture pictures[] = {
        {"profile", drawProfile, buttonSizes},
        {"submit", drawSubmit, buttonSizes},
        {"download", drawDownload, buttonSizes},
        {"open-local", drawOpenLocal, buttonSizes},
        {"open", drawOpen, buttonSizes},
        {"save", drawSave, buttonSizes},
        {"save-as", drawSaveAs, buttonSizes},
        {"start", drawStart, buttonSizes},
        {"quorvane", drawProgram, {16, 32, 48, 64, 128, 256}},
    };
    for (const Picture& picture : pictures) {
        for (int size : picture.sizes) {
            const QString file = out.filePath(QString("%1-%2.png").arg(picture.name).arg(size));
            if (!render(picture, size).save(file)) {
                std::fprintf(stderr, "draw_icons: cannot write %s\n", qPrintable(file));
                return 1;
            }
        }
    }
    return 0;
}
