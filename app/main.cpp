#include "app_info.h"
#include "command_line.h"
#include "form1.h"
#include "headless.h"
#include "headless_tools.h"
#include "table_reporters.h"
#include "tool_strip.h"

#include "platform/application.h"
#include "platform/message_wait.h"
#include "platform/program_folder.h"

#include <cstdio>
#include <QCoreApplication>
#include <QDir>
#include <QFile>

int main(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    app::CommandLine command = app::parseCommandLine(arguments);
    switch (command.action) {
    case app::CommandLine::Action::Help:
        std::fputs(app::usageText().c_str(), stdout);
        return 0;
    case app::CommandLine::Action::Version:
        std::puts(app::versionText().c_str());
        return 0;
    case app::CommandLine::Action::Error:
        std::fprintf(stderr, "quorvane: %s\n%s", command.error.c_str(), app::usageText().c_str());
        return 2;
    case app::CommandLine::Action::Submit: {
        platform::preferQtEventDispatcher();
        QCoreApplication application(argc, argv);
        QCoreApplication::setApplicationName("quorvane");
        return app::runHeadlessSubmission(QFile::decodeName(command.profile.c_str()),
                                          QFile::decodeName(command.engines.c_str()),
                                          command.skipRecentDays);
    }
    case app::CommandLine::Action::ExportLog: {
        platform::preferQtEventDispatcher();
        QCoreApplication application(argc, argv);
        QCoreApplication::setApplicationName("quorvane");
        return app::exportLog(QFile::decodeName(command.csv.c_str()));
    }
    case app::CommandLine::Action::ImportSitemap: {
        platform::preferQtEventDispatcher();
        QCoreApplication application(argc, argv);
        return app::runImportSitemap(command.sitemap, QFile::decodeName(command.profile.c_str()),
                                     command.since);
    }
    case app::CommandLine::Action::CheckKey: {
        platform::preferQtEventDispatcher();
        QCoreApplication application(argc, argv);
        return app::runCheckKey(QFile::decodeName(command.profile.c_str()));
    }
    case app::CommandLine::Action::Run:
        break;
    }

    Application application(argc, argv);
    QApplication::setApplicationName("quorvane");
    QApplication::setApplicationDisplayName(app::kApplicationTitle);
    QApplication::setWindowIcon(app::programIcon());
    const QString page = app::startPage(command.page, QDir::currentPath());
    platform::prepareProgramFolder();
    app::installTableReporters();
    TForm1 window(page);
    window.show();
    return application.exec();
}
