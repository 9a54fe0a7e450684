#include "platform/posted_message.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <vector>

namespace {

class Recorder : public QObject {
public:
    std::vector<int> seen;
    bool event(QEvent* e) override
    {
        if (e->type() >= QEvent::User) {
            seen.push_back(static_cast<platform::PostedMessage*>(e)->message());
            return true;
        }
        return QObject::event(e);
    }
};

} // namespace

TEST(PostedMessage, DeliveredLaterInPostingOrder)
{
    Recorder r;
    platform::postMessage(&r, 1026);
    platform::postMessage(&r, 1025);
    EXPECT_TRUE(r.seen.empty());
    platform::processPendingMessages();
    EXPECT_EQ(r.seen, (std::vector<int>{1026, 1025}));
    EXPECT_EQ(platform::messageEventType(1024), QEvent::User);
}
