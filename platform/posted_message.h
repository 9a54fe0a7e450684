#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

// Window messages of the original design become custom Qt events posted to a
// QObject that plays the hidden window. A message number N (>= 1024, the
// first user message) is the event type QEvent::User + N - 1024. Posting
// order is delivery order.
namespace platform {

constexpr int kFirstUserMessage = 1024;

constexpr QEvent::Type messageEventType(int message)
{
    return static_cast<QEvent::Type>(QEvent::User + message - kFirstUserMessage);
}

// A posted message with its two parameters.
class PostedMessage : public QEvent {
public:
    PostedMessage(int message, quintptr wParam, qintptr lParam)
        : QEvent(messageEventType(message)), m_message(message), m_wParam(wParam), m_lParam(lParam)
    {
    }
    int message() const { return m_message; }
    quintptr wParam() const { return m_wParam; }
    qintptr lParam() const { return m_lParam; }

private:
    int m_message;
    quintptr m_wParam;
    qintptr m_lParam;
};

// Queues a message for the target; it is delivered from the event loop,
// never inside this call.
inline void postMessage(QObject* target, int message, quintptr wParam = 0, qintptr lParam = 0)
{
    QCoreApplication::postEvent(target, new PostedMessage(message, wParam, lParam));
}

// True when the event is a posted message with the given number.
inline bool isMessage(const QEvent* event, int message)
{
    return event->type() == messageEventType(message);
}

// Delivers the window messages that are pending now, once.
inline void processPendingMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace platform
