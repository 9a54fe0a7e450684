#include "request_status.h"

namespace app {

std::string attemptsSuffix(int attempts)
{
    return attempts > 1 ? " after " + std::to_string(attempts) + " attempts" : std::string();
}

std::string logStatusText(uint16_t error, int status, std::string_view reason,
                          std::string_view failure, int attempts)
{
    std::string text;
    if (error != 0) {
        text = failure.empty() ? "Error #" + std::to_string(error) : std::string(failure);
    } else if (status > 0) {
        text = std::to_string(status);
        if (!reason.empty())
            text += ' ' + std::string(reason);
    } else {
        // A server may answer with a bare page and no status line at all.
        text = "answer without status line";
    }
    const std::string suffix = attemptsSuffix(attempts);
    const size_t room = kStatusFieldWidth > suffix.size() ? kStatusFieldWidth - suffix.size() : 0;
    if (text.size() > room)
        text.resize(room);
    return (text + suffix).substr(0, kStatusFieldWidth);
}

} // namespace app
