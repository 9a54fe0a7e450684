#include "dbf/memo_channel.h"

#include "dbf/dbf_engine.h"

namespace dbf {

namespace {

// Memo text as written: lines joined by CR LF (or the soft 0x8D LF). Unlike
// the display split, long lines stay whole, so that text read for appending
// is stored again unchanged.
std::vector<std::string> storedLines(const std::string& text)
{
    std::vector<std::string> lines;
    if (text.empty())
        return lines;
    size_t start = 0;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        const auto ch = static_cast<unsigned char>(text[i]);
        if ((ch == '\r' || ch == 0x8D) && text[i + 1] == '\n') {
            lines.push_back(text.substr(start, i - start));
            start = i + 2;
            ++i;
        }
    }
    lines.push_back(text.substr(start));
    return lines;
}

} // namespace

template <typename F> bool MemoChannel::call(const char* operation, F&& body)
{
    return m_engine->runBody(operation, [&] {
        if (!m_area)
            fail(102, std::string("File not assigned [") + operation + "]");
        body();
    });
}

void MemoChannel::requireTable() const
{
    if (!m_area->isOpen())
        fail(kNoDatabase,
             "No database in use [AssignMemo]  WorkArea = " + std::to_string(m_area->number()));
}

void MemoChannel::requireMode(Mode mode, const char* operation) const
{
    if (m_mode == mode)
        return;
    if (mode == Mode::Reading)
        fail(104, std::string("File not open for input [") + operation + "]");
    fail(105, std::string("File not open for output [") + operation + "]");
}

bool MemoChannel::Reset()
{
    return call("AssignMemo", [&] {
        requireTable();
        m_lines = m_area->readMemo(m_getBlock());
        m_next = 0;
        m_mode = Mode::Reading;
    });
}

bool MemoChannel::Rewrite()
{
    return call("AssignMemo", [&] {
        requireTable();
        m_lines.clear();
        m_lineOpen = false;
        m_mode = Mode::Writing;
    });
}

bool MemoChannel::Append()
{
    return call("AssignMemo", [&] {
        requireTable();
        m_lines = storedLines(m_area->readMemoText(m_getBlock()));
        m_lineOpen = false;
        m_mode = Mode::Writing;
    });
}

std::string MemoChannel::ReadLn()
{
    std::string line;
    call("ReadLn", [&] {
        requireMode(Mode::Reading, "ReadLn");
        if (m_next < m_lines.size())
            line = std::move(m_lines[m_next++]);
    });
    return line;
}

bool MemoChannel::Write(const std::string& text)
{
    return put("Write", text, false);
}

bool MemoChannel::WriteLn(const std::string& text)
{
    return put("WriteLn", text, true);
}

bool MemoChannel::put(const char* operation, const std::string& text, bool endLine)
{
    return call(operation, [&] {
        requireMode(Mode::Writing, operation);
        if (!m_lineOpen)
            m_lines.emplace_back();
        m_lines.back() += text;
        m_lineOpen = !endLine;
    });
}

bool MemoChannel::Close()
{
    return call("AssignMemo", [&] {
        const Mode mode = m_mode;
        m_mode = Mode::Closed;
        if (mode == Mode::Writing) {
            requireTable();
            m_setBlock(m_area->writeMemo(m_lines));
        }
        m_lines.clear();
    });
}

} // namespace dbf
