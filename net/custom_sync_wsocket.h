#pragma once

#include "net/custom_line_wsocket.h"

#include <functional>

// Adds a wait that runs the event loop until a condition holds, with an
// optional time limit.
class TCustomSyncWSocket : public TCustomLineWSocket {
public:
    static constexpr int kWaitTimeout = 12001;

    // Milliseconds; 0 or less waits without limit.
    int32_t Timeout() const { return m_timeout; }
    void setTimeout(int32_t ms) { m_timeout = ms; }

    // Runs the event loop until the flag is true. Returns 0 then, or
    // kWaitTimeout when the time limit passed, the application is ending or
    // the socket's pump has seen a quit.
    int WaitUntilReady(const bool& flag);
    int WaitUntil(const std::function<bool()>& done);

private:
    int32_t m_timeout = 0;
};
