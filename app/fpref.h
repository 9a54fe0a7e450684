#pragma once

#include "fetch.h"

#include <QDialog>

class QLineEdit;
class QPushButton;
class THttpCli;

// The "Program Options" dialog: the proxy host, port, password and user
// name, and the request time limit in seconds, that all six HTTP clients
// use. The password is shown as typed, as it is stored. Below them the
// site's IndexNow key, with a button that generates a new one and one that
// checks whether the hosts of a profile serve it.
class TFPref : public QDialog {
    Q_OBJECT
public:
    explicit TFPref(QWidget* parent = nullptr);

    // Fills the edits from the client's proxy settings and the IndexNow
    // key from the registry.
    void FormCreate(const THttpCli& client);

    // "Generate": a new random key in the key field.
    void GenerateClick();
    // "Check IndexNow key...": the key in the field, checked for the hosts
    // of a profile chosen in a small dialog of its own.
    void CheckKeyClick();

    // OK: refused with a message while the key field holds something that
    // is not a key (the dialog stays open); otherwise the key (or, for an
    // empty field, no key) is stored in the registry and the dialog closes.
    void accept() override;

    QLineEdit* ProxyEdit = nullptr;
    QLineEdit* PortEdit = nullptr;
    QLineEdit* pas = nullptr;
    QLineEdit* un = nullptr;
    QLineEdit* TimeoutEdit = nullptr;
    QLineEdit* IndexNowKeyEdit = nullptr;
    QPushButton* GenerateButton = nullptr;
    QPushButton* CheckKeyButton = nullptr;

    // How the key check fetches key files. Empty: through a client of its
    // own with the proxy and time limit shown in the dialog.
    app::Fetcher keyFetcher;

private:
    // The key field without surrounding blanks, in the program's text.
    std::string typedKey() const;
    // Tells the user when the field holds no valid key; false then.
    bool keyAcceptable();
};
