#pragma once

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

    // Tool strip commands.
    void Open1Click();
    void savefile();
    void SaveAs1Click();
    // Change handler of the three edits.
    void setmodi();

    const QString& fileName() const { return m_fileName; }
    bool profileModified() const { return m_profileModified; }
    const std::string& profileLastDate() const { return m_profileLastDate; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeEdits();

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
    std::string m_profileLastDate;
};
