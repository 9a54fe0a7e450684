#pragma once

#include "platform/posted_message.h"

#include <functional>
#include <QObject>

// The receiver of a component's posted messages (its "hidden window").
// Messages are handed to the owner's handler; anything else gets Qt's
// default treatment. The owner releases the window with release(), which
// detaches the handler so that a message still queued is dropped instead of
// reaching a dead object, and defers the deletion when the owner dies from
// inside one of the window's own messages.
class HiddenWindow : public QObject {
public:
    using Handler = std::function<void(const platform::PostedMessage&)>;

    explicit HiddenWindow(Handler handler) : m_handler(std::move(handler)) {}

    static void release(HiddenWindow* window)
    {
        window->m_handler = nullptr;
        if (window->m_dispatching > 0)
            window->deleteLater();
        else
            delete window;
    }

    void post(int message, quintptr wParam = 0, qintptr lParam = 0)
    {
        platform::postMessage(this, message, wParam, lParam);
    }
    // Drops the queued messages with the given number.
    void discardPosted(int message)
    {
        QCoreApplication::removePostedEvents(this, platform::messageEventType(message));
    }

protected:
    bool event(QEvent* e) override
    {
        if (e->type() >= QEvent::User && e->type() <= QEvent::MaxUser) {
            if (m_handler) {
                // A copy, because the handler may release the window.
                const Handler handler = m_handler;
                ++m_dispatching;
                try {
                    handler(static_cast<const platform::PostedMessage&>(*e));
                } catch (...) {
                    --m_dispatching;
                    throw;
                }
                --m_dispatching;
            }
            return true;
        }
        return QObject::event(e);
    }

private:
    ~HiddenWindow() override = default;

    Handler m_handler;
    int m_dispatching = 0;
};
