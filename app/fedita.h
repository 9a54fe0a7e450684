#pragma once

#include "sitemap.h"

#include <optional>
#include <QDate>
#include <QDialog>
#include <string>

class QLabel;
class QLineEdit;
class QPlainTextEdit;

// The profile editor: the submitter's name and e-mail address and the pages
// to submit, saved as a profile file. Shown modally by the main window's
// "Edit/Create profile" command for one file at a time.
class Tfedita : public QDialog {
    Q_OBJECT
public:
    explicit Tfedita(QWidget* parent = nullptr);

    // Loads the profile file into the editor; a file that does not exist
    // yet gives an empty profile of that name.
    void cargar(const QString& fileName);
    // Loads the profile a file dialog returned: an existing file whatever
    // the letter case the name was typed in, else, after asking whether to
    // create it, a new empty profile named by the ".ini" rule. False when
    // the user did not want the new file.
    bool openChosen(const QString& chosen);

    // Tool strip commands.
    void Open1Click();
    void savefile();
    void SaveAs1Click();
    // Change handler of the three edits.
    void setmodi();

    // "Import sitemap...": asks for the sitemap and adds its pages to the
    // list shown, then tells how many were added.
    void ImportSitemapClick();
    // Adds the pages of the sitemap at source (a web address, a file:// address
    // or a file name, UTF-8) that the list does not hold yet at the end of the
    // pages box, as one change that Undo takes back. The file on disk is not
    // touched: the additions are unsaved changes like typed ones. Web
    // sitemaps come through an HTTP client of the editor's own, with the
    // proxy settings of the registry. Throws
    // ESitemapError when the sitemap cannot be read; the box is then unchanged.
    app::SitemapImport importSitemap(const std::string& source, std::optional<QDate> since);

    const QString& fileName() const { return m_fileName; }
    bool profileModified() const { return m_profileModified; }
    bool unsavedChanges() const { return m_unsaved; }
    const std::string& profileLastDate() const { return m_profileLastDate; }

    // Esc and the close button: unsaved changes are offered for saving
    // first (Cancel keeps the editor open).
    void reject() override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeEdits();
    // Writes the profile to the file, which becomes the current one.
    void writeTo(const QString& path);
    // Asks before a save replaces a file other than the one being edited.
    bool replaceAllowed(const QString& path);
    // Where the sitemap usually is: /sitemap.xml on the site of the first page.
    QString suggestedSitemap() const;
    // The day of the last submission run, when the date line can be read.
    QDate lastRunDate() const;

    QWidget* m_toolStrip = nullptr;
    QLabel* m_nameLabel = nullptr;
    QLabel* m_emailLabel = nullptr;
    QLabel* m_pagesLabel = nullptr;
    QLineEdit* m_nombre = nullptr;
    QLineEdit* m_email = nullptr;
    QPlainTextEdit* m_pages = nullptr;

    // The file being edited; Save writes here (after the ".ini" rule).
    QString m_fileName;
    bool m_profileModified = false;
    // Changed since the file was loaded or last written.
    bool m_unsaved = false;
    std::string m_profileLastDate;
    // A sitemap is being fetched (the event loop runs meanwhile).
    bool m_importing = false;
};
