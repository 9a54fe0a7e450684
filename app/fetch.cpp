#include "fetch.h"

namespace app {

std::string FetchResult::problem() const
{
    if (error != 0)
        return failure.empty() ? "Error #" + std::to_string(error) : failure;
    if (status <= 0)
        return "answer without an HTTP status line";
    std::string text = "HTTP " + std::to_string(status);
    if (!reason.empty())
        text += ' ' + reason;
    return text;
}

} // namespace app
