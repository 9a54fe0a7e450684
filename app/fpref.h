#pragma once

#include <QDialog>

class QLineEdit;
class THttpCli;

// The "Program Options" dialog: the proxy host, port, password and user
// name, and the request time limit in seconds, that all six HTTP clients
// use. The password is shown as typed, as it
// is stored.
class TFPref : public QDialog {
    Q_OBJECT
public:
    explicit TFPref(QWidget* parent = nullptr);

    // Fills the edits from the client's proxy settings.
    void FormCreate(const THttpCli& client);

    QLineEdit* ProxyEdit = nullptr;
    QLineEdit* PortEdit = nullptr;
    QLineEdit* pas = nullptr;
    QLineEdit* un = nullptr;
    QLineEdit* TimeoutEdit = nullptr;
};
