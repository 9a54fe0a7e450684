#pragma once

#include "setup/install_steps.h"

#include <functional>
#include <QString>

namespace setup {

class SetupDialog;

// The setup program from start to end: proposes an installation folder, runs
// the dialog and, however the dialog ended, clears the main program out of
// the setup folder and starts the uninstaller there to remove the rest.
class SetupProgram {
public:
    explicit SetupProgram(QString setupFolder);

    // Runs the dialog and the clean-up. Returns 0 when the installation
    // succeeded, 1 otherwise.
    int run();

    // Starts the uninstaller at the end; tests put a stand-in here.
    Launcher launcher = startDetached;
    // Called once the dialog is on screen; scripted runs and tests press its
    // buttons from here.
    std::function<void(SetupDialog* dialog)> OnDialogShown;
    // Where the proposed folder is looked up; empty for the default file.
    QString registryFile;

private:
    QString m_setupFolder;
};

} // namespace setup
