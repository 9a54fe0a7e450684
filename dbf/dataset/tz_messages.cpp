#include "dbf/dataset/tz_messages.h"

namespace tzmsg {

std::string format(const Message& message, std::initializer_list<std::string> arguments)
{
    std::string out;
    const std::string text = message.text;
    auto next = arguments.begin();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 's') {
            if (next != arguments.end())
                out += *next++;
            ++i;
            continue;
        }
        out += text[i];
    }
    return out;
}

} // namespace tzmsg
