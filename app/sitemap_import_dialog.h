#pragma once

#include <optional>
#include <QDate>
#include <QDialog>
#include <string>

class QCheckBox;
class QDateEdit;
class QDialogButtonBox;
class QLineEdit;
class QPushButton;

// "Import sitemap": asks where the sitemap is (a web address, or a file
// picked with Browse...) and, optionally, the day from which on changed
// pages are wanted.
class TSitemapImportDialog : public QDialog {
    Q_OBJECT
public:
    // suggestedSource: the text the address field starts with; sinceDate:
    // the day the date field starts with (the box itself starts unticked).
    TSitemapImportDialog(const QString& suggestedSource, const QDate& sinceDate,
                         QWidget* parent = nullptr);

    // "Browse...": a sitemap file from disk becomes the source.
    void BrowseClick();

    // The source as typed, without surrounding blanks, in UTF-8 (a file
    // name may hold any character).
    std::string source() const;
    // The day chosen when the box is ticked.
    std::optional<QDate> since() const;

    QLineEdit* SourceEdit = nullptr;
    QPushButton* BrowseButton = nullptr;
    QCheckBox* SinceCheck = nullptr;
    QDateEdit* SinceDate = nullptr;

private:
    QDialogButtonBox* m_buttons = nullptr;
};
