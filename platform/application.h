#pragma once

#include <functional>
#include <QApplication>

// The program's application object. An exception that escapes an event
// handler is caught here, at the event-loop boundary, and shown in the
// standard error box; the program keeps running.
class Application : public QApplication {
public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Shows the standard error box with the message. Tests replace the way
    // the message is shown through setErrorReporter.
    static void showException(const QString& message);
    using ErrorReporter = std::function<void(const QString&)>;
    static void setErrorReporter(ErrorReporter reporter);
};
