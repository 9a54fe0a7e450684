#pragma once

#include <QDialog>

// The About box: the program's name, version and freeware notice on the
// program's colour ramp.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);
};
