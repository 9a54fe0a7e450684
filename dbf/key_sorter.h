#pragma once

#include "dbf/posix_file.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dbf {

// Sorts (key, record number) pairs for an index build: ascending key, equal
// keys by ascending record number. Pairs gather in memory; whenever the
// memory budget is used up the gathered run is sorted and written to a
// temporary file, and the runs are merged at the end.
class KeySorter {
public:
    // Byte-wise comparison for character keys, IEEE doubles for numeric ones.
    enum class KeyKind { Character, Numeric };

    KeySorter(size_t keyLength, KeyKind kind, size_t memoryBudget);
    ~KeySorter();

    void add(std::string_view key, uint32_t recno);
    // Calls `sink` once per pair in sorted order.
    void drain(const std::function<void(const uint8_t* key, uint32_t recno)>& sink);

    size_t spilledRuns() const { return m_runs.size(); }
    // Pairs added so far.
    size_t size() const
    {
        size_t n = m_order.size();
        for (const Run& run : m_runs)
            n += size_t(run.items);
        return n;
    }
    int compareKeys(const uint8_t* a, const uint8_t* b) const;

private:
    void sortRun();
    void spillRun();

    size_t m_keyLength;
    size_t m_itemSize;
    KeyKind m_kind;
    size_t m_budgetItems;
    std::vector<uint8_t> m_arena;
    std::vector<uint32_t> m_order;
    std::string m_spillPath;
    PosixFile m_spill;
    struct Run {
        uint64_t offset;
        uint64_t items;
    };
    std::vector<Run> m_runs;
};

// Creates a new empty file "TZP..." in the system's temporary folder and
// returns its name; fails with "Error requesting unique file name".
std::string uniqueFilename();

} // namespace dbf
