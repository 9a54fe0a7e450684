#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace dbf {

class DbfEngine;
class WorkArea;

// A line-oriented text channel bound to a memo by DbfEngine::AssignMemo
// (or AssignMemoField) and used like a text file: Reset reads the memo that
// the bound block variable names, Rewrite starts an empty memo, Append
// starts from the memo's text and adds lines after it. Closing a channel
// that was written stores the text as a new memo at the end of the memo
// file and sets the variable to its first block (0 for an empty text).
//
// The channel keeps the work area it was bound in, whichever area is
// current later. Failures go through the engine's error mechanism: 102 on a
// channel that was never bound, 104 reading a channel not open for reading,
// 105 writing one not open for writing, and the memo file's own errors.
class MemoChannel {
public:
    // Failures before the channel is bound go to this engine.
    explicit MemoChannel(DbfEngine& engine) : m_engine(&engine) {}
    MemoChannel(const MemoChannel&) = delete;
    MemoChannel& operator=(const MemoChannel&) = delete;

    bool Reset();
    bool Rewrite();
    bool Append();
    // Reading: true when every line was read.
    bool Eof() const { return m_mode != Mode::Reading || m_next >= m_lines.size(); }
    // Reading: the next line ("" once Eof).
    std::string ReadLn();
    // Writing: adds text to the current line, or WriteLn ends it.
    bool Write(const std::string& text);
    bool WriteLn(const std::string& text = {});
    // Stores a written memo; a channel open for reading is simply closed.
    bool Close();
    bool IsOpen() const { return m_mode != Mode::Closed; }

private:
    friend class DbfEngine;
    enum class Mode { Closed, Reading, Writing };
    template <typename F> bool call(const char* operation, F&& body);
    void requireMode(Mode mode, const char* operation) const;
    void requireTable() const;
    bool put(const char* operation, const std::string& text, bool endLine);

    DbfEngine* m_engine;
    WorkArea* m_area = nullptr;
    std::function<int32_t()> m_getBlock;
    std::function<void(int32_t)> m_setBlock;
    Mode m_mode = Mode::Closed;
    std::vector<std::string> m_lines;
    size_t m_next = 0;
    bool m_lineOpen = false; // the last written line takes more text
};

} // namespace dbf
