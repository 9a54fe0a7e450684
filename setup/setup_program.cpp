#include "setup/setup_program.h"

#include "setup/registry_reader.h"
#include "setup/setup_dialog.h"

#include <QTimer>

namespace setup {

SetupProgram::SetupProgram(QString setupFolder) : m_setupFolder(std::move(setupFolder)) {}

int SetupProgram::run()
{
    const RegistryReader registry =
        registryFile.isEmpty() ? RegistryReader() : RegistryReader(registryFile);
    bool installed = false;
    {
        SetupDialog dialog(m_setupFolder, defaultInstallPath(registry));
        if (OnDialogShown)
            QTimer::singleShot(0, &dialog, [this, &dialog] { OnDialogShown(&dialog); });
        dialog.exec();
        installed = dialog.installed();
    }
    closingCleanup(m_setupFolder, launcher);
    return installed ? 0 : 1;
}

} // namespace setup
