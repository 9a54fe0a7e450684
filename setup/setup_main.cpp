// The setup program. Started from the folder that holds it beside the main
// program and the uninstaller; installs both into a folder the user picks.
//
//   setup                        shows the dialog
//   setup --unattended [FOLDER]  presses Install at once (into FOLDER when
//                                given), writes every message to standard
//                                error instead of showing it, and exits 0
//                                only when the installation succeeded
#include "setup/message_box.h"
#include "setup/setup_dialog.h"
#include "setup/setup_program.h"

#include <cstdio>
#include <cstring>
#include <QApplication>
#include <QDir>
#include <QLineEdit>

namespace {

constexpr int kUsageExitCode = 2;

void printUsage()
{
    std::fputs("usage: setup [--unattended [FOLDER]]\n", stderr);
}

} // namespace

int main(int argc, char** argv)
{
    bool unattended = false;
    QString folder;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--unattended") == 0 && !unattended) {
            unattended = true;
        } else if (unattended && folder.isEmpty() && argv[i][0] != '-') {
            folder = QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[i]));
        } else {
            printUsage();
            return kUsageExitCode;
        }
    }
    if (unattended)
        qputenv(setup::MessageBox::kUnattendedVariable, "1");

    QApplication app(argc, argv);
    // Relative paths typed into the dialog count from the setup folder.
    const QString setupFolder = QCoreApplication::applicationDirPath();
    QDir::setCurrent(setupFolder);

    setup::SetupProgram program(setupFolder);
    if (unattended) {
        program.OnDialogShown = [folder](setup::SetupDialog* dialog) {
            if (!folder.isEmpty()) {
                static_cast<QLineEdit*>(dialog->control(setup::SetupDialog::kIdPath))
                    ->setText(folder);
            }
            dialog->install();
            if (dialog->isVisible())
                dialog->reject();
        };
    }
    return program.run();
}
