#include "key_check_dialog.h"

#include "key_check.h"
#include "profile.h"
#include "wait_cursor.h"

#include "platform/ansi.h"
#include "platform/program_folder.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kWidth = 420;
constexpr int kHeight = 260;

QString fromAnsi(const std::string& text)
{
    return platform::fromAnsi(text);
}

} // namespace

TKeyCheckDialog::TKeyCheckDialog(std::string key, app::Fetcher fetch, QWidget* parent)
    : QDialog(parent), m_key(std::move(key)), m_fetch(std::move(fetch))
{
    setObjectName("KeyCheck");
    setWindowTitle("Check IndexNow key");
    resize(kWidth, kHeight);

    auto* column = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    auto* label = new QLabel("&Profile:", this);
    ProfileCombo = new QComboBox(this);
    ProfileCombo->setObjectName("ProfileCombo");
    ProfileCombo->addItems(profileNames());
    label->setBuddy(ProfileCombo);
    CheckButton = new QPushButton("&Check", this);
    CheckButton->setObjectName("CheckButton");
    CheckButton->setDefault(true);
    row->addWidget(label);
    row->addWidget(ProfileCombo, 1);
    row->addWidget(CheckButton);
    column->addLayout(row);

    auto* keyLine = new QLabel("Looking for https://HOST/" + fromAnsi(m_key) + ".txt", this);
    keyLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(keyLine);

    ResultLines = new QPlainTextEdit(this);
    ResultLines->setObjectName("ResultLines");
    ResultLines->setReadOnly(true);
    ResultLines->setLineWrapMode(QPlainTextEdit::NoWrap);
    ResultLines->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    column->addWidget(ResultLines, 1);
    Summary = new QLabel(this);
    Summary->setObjectName("Summary");
    Summary->setWordWrap(true);
    column->addWidget(Summary);

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    column->addWidget(m_buttons);

    connect(CheckButton, &QPushButton::clicked, this, [this] { CheckClick(); });
    CheckButton->setEnabled(ProfileCombo->count() > 0);
    if (ProfileCombo->count() == 0)
        Summary->setText("There is no profile in " + platform::programFolder() +
                         " yet: create one with Edit/Create profile.");
    setTabOrder(ProfileCombo, CheckButton);
    setTabOrder(CheckButton, ResultLines);
}

QStringList TKeyCheckDialog::profileNames()
{
    QDir folder(platform::programFolder());
    folder.setNameFilters({"*.ini"});
    folder.setFilter(QDir::Files | QDir::Readable);
    folder.setSorting(QDir::Name | QDir::IgnoreCase);
    return folder.entryList();
}

bool TKeyCheckDialog::CheckClick()
{
    if (m_checking || ProfileCombo->currentText().isEmpty())
        return false;
    const QString name = ProfileCombo->currentText();
    ResultLines->clear();
    Summary->setText("Checking the hosts of " + name + "...");
    // The fetches run the event loop: nothing else of the dialog may start
    // meanwhile, and closing waits for the end (see reject).
    m_checking = true;
    CheckButton->setEnabled(false);
    ProfileCombo->setEnabled(false);
    m_buttons->setEnabled(false);
    QCoreApplication::processEvents();

    bool allGood = false;
    try {
        app::WaitCursor hourglass;
        const app::Profile profile = app::readProfile(platform::programFolder() + name);
        const std::vector<app::KeyCheckLine> lines = app::checkKey(profile.pages, m_key, m_fetch);
        int failing = 0;
        for (const app::KeyCheckLine& line : lines) {
            ResultLines->appendPlainText(fromAnsi(line.line()));
            if (!line.good)
                ++failing;
        }
        if (lines.empty())
            Summary->setText(name + " names no page with a host.");
        else if (failing == 0)
            Summary->setText("Every host of " + name + " serves the key.");
        else
            Summary->setText(
                QString("%1 of %2 hosts do not serve the key.").arg(failing).arg(lines.size()));
        allGood = !lines.empty() && failing == 0;
    } catch (const std::exception& error) {
        Summary->setText(QString::fromLocal8Bit(error.what()));
    }

    m_checking = false;
    CheckButton->setEnabled(true);
    ProfileCombo->setEnabled(true);
    m_buttons->setEnabled(true);
    return allGood;
}

void TKeyCheckDialog::reject()
{
    if (m_checking)
        return;
    QDialog::reject();
}
