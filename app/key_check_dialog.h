#pragma once

#include "fetch.h"

#include <QDialog>
#include <QStringList>
#include <string>

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// "Check IndexNow key": the user picks one of the profiles of the program
// folder and the dialog fetches the key file of every host among its pages,
// showing one line per host ("www.example.org: key found"). Several
// profiles can be checked one after another before the dialog is closed.
class TKeyCheckDialog : public QDialog {
    Q_OBJECT
public:
    // key: the key to look for, already valid; fetch: how key files are
    // fetched (it must outlive the dialog).
    TKeyCheckDialog(std::string key, app::Fetcher fetch, QWidget* parent = nullptr);

    // The profile files of the program folder, sorted, without folder.
    static QStringList profileNames();

    // Checks the profile chosen in the combo box and shows the result.
    // Returns true when every host serves the key.
    bool CheckClick();

    QComboBox* ProfileCombo = nullptr;
    QPushButton* CheckButton = nullptr;
    QPlainTextEdit* ResultLines = nullptr;
    QLabel* Summary = nullptr;

    // Closing waits while a check is running: the fetch runs inside it.
    void reject() override;

private:
    std::string m_key;
    app::Fetcher m_fetch;
    QDialogButtonBox* m_buttons = nullptr;
    bool m_checking = false;
};
