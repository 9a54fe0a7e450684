#include "about_box.h"

#include "app_info.h"
#include "tool_strip.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kWidth = 298;
constexpr int kHeight = 240;
constexpr int kIconSize = 32;
const QColor kNavy(0, 0, 128);

QLabel* navyLabel(const QString& text, QWidget* parent, bool bold)
{
    auto* label = new QLabel(text, parent);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, kNavy);
    label->setPalette(palette);
    QFont font = label->font();
    font.setBold(bold);
    label->setFont(font);
    return label;
}

} // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent, Qt::Tool)
{
    QString title = QApplication::applicationDisplayName();
    if (title.isEmpty())
        title = app::kApplicationTitle;
    setWindowTitle("About " + title);
    setFixedSize(kWidth, kHeight);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    QWidget* background = app::createGradientPanel(this);
    outer->addWidget(background);

    auto* column = new QVBoxLayout(background);
    column->setContentsMargins(16, 14, 16, 12);
    column->setSpacing(6);

    auto* head = new QHBoxLayout;
    auto* icon = new QLabel(background);
    icon->setObjectName("ProgramIcon");
    QIcon picture = app::programIcon();
    if (picture.isNull())
        picture = QApplication::windowIcon();
    icon->setPixmap(picture.pixmap(kIconSize, kIconSize));
    icon->setFixedSize(kIconSize, kIconSize);
    head->addWidget(icon);
    head->addSpacing(10);

    QLabel* product = navyLabel(title, background, true);
    product->setObjectName("ProductName");
    QFont productFont("Times New Roman", 20);
    productFont.setBold(true);
    productFont.setItalic(true);
    product->setFont(productFont);
    head->addWidget(product, 1);
    column->addLayout(head);

    auto* version = new QLabel(QString("Version ") + app::kVersion, background);
    version->setObjectName("Version");
    column->addWidget(version);

    auto* maker =
        new QLabel("Written by the Quorvane authors.\nwww.example.org/quorvane", background);
    maker->setObjectName("Copyright");
    column->addWidget(maker);
    column->addStretch(1);

    QLabel* freeware = navyLabel(title + " is Freeware", background, true);
    freeware->setObjectName("Comments");
    freeware->setAlignment(Qt::AlignCenter);
    column->addWidget(freeware);
    column->addStretch(1);

    // OK is both the default button (Enter) and the cancel button (Esc,
    // which a dialog maps to reject).
    auto* ok = new QPushButton("OK", background);
    ok->setObjectName("OKButton");
    ok->setDefault(true);
    ok->setAutoDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addStretch(1);
    column->addLayout(buttons);
}
