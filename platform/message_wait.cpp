#include "platform/message_wait.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QScopeGuard>
#include <QThread>

namespace platform {
namespace {

// The innermost wait running on this thread.
thread_local const void* t_innermostWait = nullptr;

} // namespace

void deliverMessagesUntil(const std::function<bool()>& done)
{
    if (done())
        return;
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher)
        return;
    QThread* thread = QThread::currentThread();
    // An event loop started by a handler inside this wait (a modal dialog)
    // runs one level deeper; its sleeps are its own business.
    const int loopLevel = thread->loopLevel();
    const void* const outerWait = t_innermostWait;
    const char self = 0;
    t_innermostWait = &self;
    const QMetaObject::Connection check =
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, [&] {
            if (t_innermostWait == &self && thread->loopLevel() == loopLevel && done())
                dispatcher->interrupt();
        });
    const auto restore = qScopeGuard([&] {
        QObject::disconnect(check);
        t_innermostWait = outerWait;
    });
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void preferQtEventDispatcher()
{
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
}

} // namespace platform
