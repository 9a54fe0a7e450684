#pragma once

#include <functional>
#include <QDialog>
#include <QRect>

class QLabel;
class QLineEdit;
class QPushButton;

namespace setup {

// The installer's one dialog: the product title, the installation folder with
// a Browse button, and Exit and Install. Install checks the setup folder and
// the free space, copies the programs into the folder while a navy bar grows
// under the buttons, creates the menu shortcuts and the uninstaller's list,
// reports the outcome and closes. The layout is given in dialog units, which
// scale with the dialog font, so the dialog keeps its proportions whatever
// font the system substitutes.
class SetupDialog : public QDialog {
    Q_OBJECT
public:
    // Control ids, also the controls' "controlId" property.
    enum ControlId {
        kIdBrowse = 1,
        kIdInstall = 2,
        kIdExit = 3,
        kIdPathLabel = 100,
        kIdPath = 101,
        kIdTitle = 123,
    };
    // The code the dialog ends with, whichever way it is left.
    static constexpr int kEndCode = 16;

    SetupDialog(QString setupFolder, QString installPath, QWidget* parent = nullptr);

    QWidget* control(int id) const;
    QString installPath() const { return m_installPath; }
    bool installing() const { return m_installing; }
    bool installed() const { return m_installed; }
    int progress() const { return m_progress; }

    // Outline of the progress bar in client pixels, corners inclusive.
    static QRect barOutline();

    // Free-space look-up; tests replace it. Returns bytes or -1.
    std::function<qint64(const QString& path)> FreeSpaceProbe;
    // Called whenever the bar's end moves.
    std::function<void(SetupDialog* sender, int progress)> OnProgress;

public slots:
    void browse();
    void install();
    void reject() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    QRect dialogRect(int x, int y, int width, int height) const;
    void centreOnScreen();
    void setProgress(int progress);
    void copyFiles(const QString& target);
    void createShortcuts(const QString& target);
    void setBusy(bool busy);

    QString m_setupFolder;
    QString m_installPath;
    bool m_installing = false;
    bool m_installed = false;
    bool m_busy = false;
    bool m_centred = false;
    int m_progress = 0;
    int m_baseUnitX = 0;
    int m_baseUnitY = 0;

    QLabel* m_title = nullptr;
    QLabel* m_icon = nullptr;
    QLabel* m_pathLabel = nullptr;
    QLineEdit* m_path = nullptr;
    QPushButton* m_browse = nullptr;
    QPushButton* m_exit = nullptr;
    QPushButton* m_install = nullptr;
};

} // namespace setup
