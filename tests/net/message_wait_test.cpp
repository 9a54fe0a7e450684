// Waiting in the event loop for a condition: the socket layer's Flush and
// wait facility, the HTTP client's Get and the submission run rely on it.
// The suite runs under both of Qt's event dispatchers (see CMakeLists.txt).
#include "platform/message_wait.h"
#include "platform/posted_message.h"

#include <gtest/gtest.h>
#include <QTimer>

namespace {

constexpr int kMessage = 1100;
constexpr int kWatchdogMs = 10000;

// A hidden window that runs a function for each message it receives.
class Receiver : public QObject {
public:
    std::function<void()> onMessage;

protected:
    bool event(QEvent* e) override
    {
        if (!platform::isMessage(e, kMessage))
            return QObject::event(e);
        if (onMessage)
            onMessage();
        return true;
    }
};

// Fails the test instead of letting a wait that never ends hang it.
class Watchdog {
public:
    explicit Watchdog(bool& fired)
    {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, [&fired] { fired = true; });
        m_timer.start(kWatchdogMs);
    }

private:
    QTimer m_timer;
};

TEST(MessageWait, EndsWhenAMessageDeliveredOnWakingSatisfiesIt)
{
    // A chain of messages, each posted by the previous one's handler; the
    // last one is delivered with nothing else pending.
    Receiver receiver;
    int delivered = 0;
    receiver.onMessage = [&] {
        if (++delivered < 3)
            platform::postMessage(&receiver, kMessage);
    };
    bool timedOut = false;
    Watchdog watchdog(timedOut);
    platform::postMessage(&receiver, kMessage);
    platform::deliverMessagesUntil([&] { return delivered == 3 || timedOut; });
    EXPECT_EQ(delivered, 3);
    EXPECT_FALSE(timedOut);
}

TEST(MessageWait, OnlyTheInnermostWaitDecides)
{
    // The outer wait's condition comes true while a handler waits for
    // something else: the inner wait goes on until its own condition holds,
    // and the outer one ends afterwards.
    Receiver receiver;
    bool outerDone = false;
    bool innerDone = false;
    bool innerEndedFirst = false;
    bool timedOut = false;
    Watchdog watchdog(timedOut);
    receiver.onMessage = [&] {
        outerDone = true;
        QTimer::singleShot(50, [&] { innerDone = true; });
        platform::deliverMessagesUntil([&] { return innerDone || timedOut; });
        innerEndedFirst = innerDone;
    };
    platform::postMessage(&receiver, kMessage);
    platform::deliverMessagesUntil([&] { return outerDone || timedOut; });
    EXPECT_TRUE(innerEndedFirst);
    EXPECT_TRUE(outerDone);
    EXPECT_FALSE(timedOut);
}

} // namespace
