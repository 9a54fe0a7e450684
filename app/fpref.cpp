#include "fpref.h"

#include "net/http_cli.h"
#include "platform/ansi.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

constexpr int kClientWidth = 299;
constexpr int kClientHeight = 236;

} // namespace

TFPref::TFPref(QWidget* parent) : QDialog(parent)
{
    setObjectName("FPref");
    setWindowTitle("Program Options");
    // A fixed dialog border without title-bar buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(kClientWidth, kClientHeight);

    auto* column = new QVBoxLayout(this);
    column->setSpacing(2);
    auto edit = [&](const char* label, const char* name) {
        column->addWidget(new QLabel(label, this));
        auto* box = new QLineEdit(this);
        box->setObjectName(name);
        column->addWidget(box);
        return box;
    };
    ProxyEdit = edit("Proxy", "ProxyEdit");
    PortEdit = edit("Port", "PortEdit");
    PortEdit->setText("80");
    pas = edit("Proxy Passord", "pas");
    un = edit("Proxy User Name", "un");
    TimeoutEdit = edit("Timeout (s)", "TimeoutEdit");
    TimeoutEdit->setText("60");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    column->addWidget(buttons);

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->geometry();
        move(area.x() + (area.width() - kClientWidth) / 2,
             area.y() + (area.height() - kClientHeight) / 2);
    }
}

void TFPref::FormCreate(const THttpCli& client)
{
    ProxyEdit->setText(platform::fromAnsi(client.Proxy()));
    pas->setText(platform::fromAnsi(client.ProxyPassword()));
    un->setText(platform::fromAnsi(client.ProxyUsername()));
    PortEdit->setText(platform::fromAnsi(client.ProxyPort()));
    TimeoutEdit->setText(QString::number(client.RequestTimeout()));
}
