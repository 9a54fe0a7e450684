// The uninstaller. Run from an installation folder it removes QUORVane;
// started by setup as "uninst setup" it removes setup's leftovers.
//
//   uninst [--unattended] [setup]
//
// --unattended answers its one question with Yes and writes its messages to
// standard error instead of showing them.
#include "setup/message_box.h"
#include "setup/uninstaller.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--unattended") == 0)
            qputenv(setup::MessageBox::kUnattendedVariable, "1");
        else
            arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    QApplication app(argc, argv);
    setup::Uninstaller uninstaller(QCoreApplication::applicationDirPath());
    return uninstaller.run(arguments);
}
