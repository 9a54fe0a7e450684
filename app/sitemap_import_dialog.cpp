#include "sitemap_import_dialog.h"

#include "platform/file_dialog.h"
#include "platform/program_folder.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kWidth = 440;
constexpr const char* kIsoDateFormat = "yyyy-MM-dd";

} // namespace

TSitemapImportDialog::TSitemapImportDialog(const QString& suggestedSource, const QDate& sinceDate,
                                           QWidget* parent)
    : QDialog(parent)
{
    setObjectName("SitemapImport");
    setWindowTitle("Import sitemap");

    auto* column = new QVBoxLayout(this);
    auto* sourceLabel = new QLabel("&Sitemap (a web address or a file):", this);
    column->addWidget(sourceLabel);
    auto* sourceRow = new QHBoxLayout;
    SourceEdit = new QLineEdit(suggestedSource, this);
    SourceEdit->setObjectName("SourceEdit");
    sourceLabel->setBuddy(SourceEdit);
    BrowseButton = new QPushButton("&Browse...", this);
    BrowseButton->setObjectName("BrowseButton");
    BrowseButton->setAutoDefault(false);
    sourceRow->addWidget(SourceEdit, 1);
    sourceRow->addWidget(BrowseButton);
    column->addLayout(sourceRow);

    auto* sinceRow = new QHBoxLayout;
    SinceCheck = new QCheckBox("Only pages &changed on or after", this);
    SinceCheck->setObjectName("SinceCheck");
    SinceDate = new QDateEdit(sinceDate.isValid() ? sinceDate : QDate::currentDate(), this);
    SinceDate->setObjectName("SinceDate");
    // The form the command line takes too, whatever the locale.
    SinceDate->setDisplayFormat(kIsoDateFormat);
    SinceDate->setCalendarPopup(true);
    SinceDate->setEnabled(false);
    sinceRow->addWidget(SinceCheck);
    sinceRow->addWidget(SinceDate);
    sinceRow->addStretch(1);
    column->addLayout(sinceRow);
    column->addWidget(new QLabel("Pages already in the list are not added again.", this));

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_buttons->button(QDialogButtonBox::Ok)->setText("&Import");
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    column->addStretch(1);
    column->addWidget(m_buttons);

    connect(BrowseButton, &QPushButton::clicked, this, [this] { BrowseClick(); });
    connect(SinceCheck, &QCheckBox::toggled, SinceDate, &QWidget::setEnabled);
    const auto followSource = [this] {
        m_buttons->button(QDialogButtonBox::Ok)
            ->setEnabled(!SourceEdit->text().trimmed().isEmpty());
    };
    connect(SourceEdit, &QLineEdit::textChanged, this, followSource);
    followSource();

    setTabOrder(SourceEdit, BrowseButton);
    setTabOrder(BrowseButton, SinceCheck);
    setTabOrder(SinceCheck, SinceDate);
    setTabOrder(SinceDate, m_buttons);
    resize(kWidth, sizeHint().height());
    SourceEdit->setFocus();
    SourceEdit->selectAll();
}

void TSitemapImportDialog::BrowseClick()
{
    FileDialog::Options options;
    options.title = "Sitemap file";
    options.filter = "Sitemaps (*.xml *.xml.gz *.gz);;All files (*)";
    const QFileInfo typed(SourceEdit->text().trimmed());
    options.folder = !SourceEdit->text().contains("://") && typed.isAbsolute()
                         ? typed.absolutePath()
                         : platform::programFolder();
    options.mustExist = true;
    const QString path = FileDialog::open(this, options);
    if (!path.isEmpty())
        SourceEdit->setText(path);
}

std::string TSitemapImportDialog::source() const
{
    return SourceEdit->text().trimmed().toStdString();
}

std::optional<QDate> TSitemapImportDialog::since() const
{
    if (!SinceCheck->isChecked())
        return std::nullopt;
    return SinceDate->date();
}
