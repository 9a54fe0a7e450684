#include "application.h"

#include "message_box.h"

#include <exception>

namespace {

Application::ErrorReporter& errorReporter()
{
    static Application::ErrorReporter reporter;
    return reporter;
}

} // namespace

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        showException(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        showException(QStringLiteral("Unknown error"));
    }
    return false;
}

void Application::showException(const QString& message)
{
    if (errorReporter()) {
        errorReporter()(message);
        return;
    }
    MessageBox::error(nullptr, applicationDisplayName(), message);
}

void Application::setErrorReporter(ErrorReporter reporter)
{
    errorReporter() = std::move(reporter);
}
