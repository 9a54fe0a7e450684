#include "fpref.h"

#include "http_clients.h"
#include "indexnow.h"
#include "key_check_dialog.h"
#include "registry_keys.h"
#include "web_fetch.h"

#include "net/http_cli.h"
#include "platform/ansi.h"
#include "platform/message_box.h"
#include "platform/registry_store.h"

#include <algorithm>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

constexpr int kClientWidth = 299;
constexpr int kGeneratedKeyLength = 32;
// Frame and inner margins of a line edit.
constexpr int kEditPadding = 14;

constexpr const char* kInvalidKey =
    "The IndexNow key must be 8 to 128 characters long and hold only the letters a-z and "
    "A-Z, the digits 0-9 and \"-\". Press Generate for a new key, or empty the field to "
    "keep no key.";
constexpr const char* kNoKeyToCheck = "Type or generate an IndexNow key first.";

} // namespace

TFPref::TFPref(QWidget* parent) : QDialog(parent)
{
    setObjectName("FPref");
    setWindowTitle("Program Options");
    // A fixed dialog border without title-bar buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    auto* column = new QVBoxLayout(this);
    column->setSpacing(2);
    auto label = [&](const char* text, QWidget* buddy) {
        auto* caption = new QLabel(text, this);
        caption->setBuddy(buddy);
        column->addWidget(caption);
    };
    auto edit = [&](const char* text, const char* name) {
        auto* box = new QLineEdit(this);
        box->setObjectName(name);
        label(text, box);
        column->addWidget(box);
        return box;
    };
    ProxyEdit = edit("&Proxy", "ProxyEdit");
    PortEdit = edit("Po&rt", "PortEdit");
    PortEdit->setText("80");
    pas = edit("Proxy P&assord", "pas");
    un = edit("Proxy &User Name", "un");
    TimeoutEdit = edit("&Timeout (s)", "TimeoutEdit");
    TimeoutEdit->setText("60");

    // The IndexNow key, set apart from the proxy settings above.
    column->addSpacing(8);
    IndexNowKeyEdit = new QLineEdit(this);
    IndexNowKeyEdit->setObjectName("IndexNowKeyEdit");
    IndexNowKeyEdit->setMaxLength(static_cast<int>(app::kIndexNowKeyMaxLength) + 16);
    IndexNowKeyEdit->setPlaceholderText("no key");
    // A generated key shows whole; the dialog grows to make room for it.
    IndexNowKeyEdit->setMinimumWidth(
        IndexNowKeyEdit->fontMetrics().horizontalAdvance(QString(kGeneratedKeyLength, '0')) +
        kEditPadding);
    label("IndexNow &key", IndexNowKeyEdit);
    auto* keyRow = new QHBoxLayout;
    keyRow->addWidget(IndexNowKeyEdit, 1);
    GenerateButton = new QPushButton("&Generate", this);
    GenerateButton->setObjectName("GenerateButton");
    GenerateButton->setAutoDefault(false);
    keyRow->addWidget(GenerateButton);
    column->addLayout(keyRow);
    CheckKeyButton = new QPushButton("&Check IndexNow key...", this);
    CheckKeyButton->setObjectName("CheckKeyButton");
    CheckKeyButton->setAutoDefault(false);
    auto* checkRow = new QHBoxLayout;
    checkRow->addWidget(CheckKeyButton);
    checkRow->addStretch(1);
    column->addSpacing(2);
    column->addLayout(checkRow);
    connect(GenerateButton, &QPushButton::clicked, this, [this] { GenerateClick(); });
    connect(CheckKeyButton, &QPushButton::clicked, this, [this] { CheckKeyClick(); });

    column->addSpacing(8);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    column->addWidget(buttons);

    // Top to bottom, as the fields stand.
    QWidget* order[] = {ProxyEdit,      PortEdit,       pas,    un, TimeoutEdit, IndexNowKeyEdit,
                        GenerateButton, CheckKeyButton, buttons};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    const QSize size(std::max(kClientWidth, column->sizeHint().width()),
                     column->sizeHint().height());
    setFixedSize(size);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->geometry();
        move(area.x() + (area.width() - size.width()) / 2,
             area.y() + (area.height() - size.height()) / 2);
    }
}

void TFPref::FormCreate(const THttpCli& client)
{
    ProxyEdit->setText(platform::fromAnsi(client.Proxy()));
    pas->setText(platform::fromAnsi(client.ProxyPassword()));
    un->setText(platform::fromAnsi(client.ProxyUsername()));
    PortEdit->setText(platform::fromAnsi(client.ProxyPort()));
    TimeoutEdit->setText(QString::number(client.RequestTimeout()));
    RegistryStore store;
    IndexNowKeyEdit->setText(QString::fromStdString(app::readIndexNowKey(store)));
}

std::string TFPref::typedKey() const
{
    return platform::toAnsi(IndexNowKeyEdit->text().trimmed());
}

bool TFPref::keyAcceptable()
{
    const QString typed = IndexNowKeyEdit->text().trimmed();
    // Letters beyond ASCII are refused here already: the program's code
    // page would turn them into bytes that some locales count as letters.
    const bool ascii =
        std::all_of(typed.begin(), typed.end(), [](QChar c) { return c.unicode() < 0x80; });
    if (typed.isEmpty() || (ascii && app::isValidIndexNowKey(typedKey())))
        return true;
    MessageBox::error(this, windowTitle(), kInvalidKey);
    IndexNowKeyEdit->setFocus();
    IndexNowKeyEdit->selectAll();
    return false;
}

void TFPref::GenerateClick()
{
    try {
        IndexNowKeyEdit->setText(QString::fromStdString(app::generateIndexNowKey()));
    } catch (const std::exception& error) {
        MessageBox::error(this, windowTitle(), QString::fromLocal8Bit(error.what()));
    }
}

void TFPref::CheckKeyClick()
{
    if (typedKey().empty()) {
        MessageBox::error(this, windowTitle(), kNoKeyToCheck);
        IndexNowKeyEdit->setFocus();
        return;
    }
    if (!keyAcceptable())
        return;
    // The check goes through the proxy the dialog shows, on a client of its
    // own, so that it never meets a download busy on the main window's.
    THttpCli client;
    app::HttpClients::configureHTTP(client, platform::toAnsi(ProxyEdit->text()),
                                    platform::toAnsi(pas->text()), platform::toAnsi(un->text()),
                                    platform::toAnsi(PortEdit->text()),
                                    app::requestTimeoutSeconds(TimeoutEdit->text()));
    TKeyCheckDialog dialog(typedKey(), keyFetcher ? keyFetcher : app::clientFetcher(client), this);
    dialog.exec();
}

void TFPref::accept()
{
    if (!keyAcceptable())
        return;
    const std::string key = typedKey();
    RegistryStore store;
    if (key.empty())
        app::writeRegKey(store, app::kPreferencesKey, app::kIndexNowKeyValue, QString());
    else
        app::storeIndexNowKey(store, key);
    IndexNowKeyEdit->setText(QString::fromStdString(key));
    QDialog::accept();
}
