#include "net/custom_sync_wsocket.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

int TCustomSyncWSocket::WaitUntilReady(const bool& flag)
{
    return WaitUntil([&flag] { return flag; });
}

int TCustomSyncWSocket::WaitUntil(const std::function<bool()>& done)
{
    const QDeadlineTimer deadline =
        m_timeout > 0 ? QDeadlineTimer(m_timeout) : QDeadlineTimer(QDeadlineTimer::Forever);
    // Wakes the loop when the time is up, so the wait below never sleeps
    // past the limit.
    QTimer wakeUp;
    wakeUp.setSingleShot(true);
    if (m_timeout > 0)
        wakeUp.start(m_timeout);
    for (;;) {
        if (done())
            return 0;
        if (deadline.hasExpired() || m_terminated || QCoreApplication::closingDown())
            return kWaitTimeout;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}
