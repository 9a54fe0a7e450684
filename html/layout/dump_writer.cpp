#include "html/layout/font_cache.h"
#include "html/layout/layout_context.h"
#include "platform/ansi.h"

void TDumpWriter::line(const std::string& text)
{
    m_text.append(static_cast<std::size_t>(m_depth) * 2, ' ');
    m_text.append(text);
    m_text.push_back('\n');
}

namespace html {

// The characters of a section as they read in a dump: placeholders show as
// "{obj}", line ends as "\n", the rest in UTF-8.
std::string dumpText(const std::string& buff, int from, int to)
{
    std::string out;
    int plain = from;
    auto flush = [&](int upTo) {
        if (upTo > plain)
            out += platform::fromAnsi(std::string_view(buff).substr(plain, upTo - plain))
                       .toStdString();
    };
    for (int i = from; i < to; ++i) {
        const char c = buff[i];
        if (c == kObjectMark || c == kBreakMark || c == kLineEndMark || c == '"' || c == '\\') {
            flush(i);
            plain = i + 1;
            if (c == kObjectMark)
                out += "{obj}";
            else if (c == kLineEndMark)
                out += "\\n";
            else if (c == '"')
                out += "\\\"";
            else if (c == '\\')
                out += "\\\\";
        }
    }
    flush(to);
    return out;
}

} // namespace html
