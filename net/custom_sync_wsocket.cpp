#include "net/custom_sync_wsocket.h"

#include "platform/message_wait.h"

#include <QCoreApplication>
#include <QTimer>

int TCustomSyncWSocket::WaitUntilReady(const bool& flag)
{
    return WaitUntil([&flag] { return flag; });
}

int TCustomSyncWSocket::WaitUntil(const std::function<bool()>& done)
{
    // The timer both marks the end of the time limit and wakes the loop, so
    // the wait below never sleeps past the limit.
    bool timedOut = false;
    QTimer limit;
    limit.setSingleShot(true);
    limit.setTimerType(Qt::PreciseTimer);
    QObject::connect(&limit, &QTimer::timeout, [&timedOut] { timedOut = true; });
    if (m_timeout > 0)
        limit.start(m_timeout);
    const auto givenUp = [&] {
        return timedOut || m_terminated || QCoreApplication::closingDown();
    };
    platform::deliverMessagesUntil([&] { return done() || givenUp(); });
    return done() ? 0 : kWaitTimeout;
}
