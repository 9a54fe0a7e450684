#include "dbf/key_sorter.h"

#include "dbf/dbf_error.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <queue>
#include <unistd.h>

namespace dbf {

namespace {
constexpr size_t kRecnoSize = 4;
constexpr size_t kMinimumItems = 256;
constexpr size_t kMergeBufferItems = 4096;
} // namespace

std::string uniqueFilename()
{
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/TZPXXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        fail(kInvalidParameter, "Error requesting unique file name [UniqueFilename]");
    ::close(fd);
    return pattern;
}

KeySorter::KeySorter(size_t keyLength, KeyKind kind, size_t memoryBudget)
    : m_keyLength(keyLength), m_itemSize(keyLength + kRecnoSize), m_kind(kind)
{
    // Each item costs its bytes plus one sort slot.
    m_budgetItems = std::max(kMinimumItems, memoryBudget / (m_itemSize + sizeof(uint32_t)));
    const size_t minimum = kMinimumItems * (m_itemSize + sizeof(uint32_t));
    try {
        m_arena.reserve(kMinimumItems * m_itemSize);
        m_order.reserve(kMinimumItems);
    } catch (const std::bad_alloc&) {
        fail(kInsufficientMemory, "Additional " + std::to_string(minimum) +
                                      " bytes of memory are needed. to allocate at least 256 "
                                      "s_ptrs [MakeIndex]");
    }
}

KeySorter::~KeySorter()
{
    m_spill.close();
    if (!m_spillPath.empty())
        ::unlink(m_spillPath.c_str());
}

int KeySorter::compareKeys(const uint8_t* a, const uint8_t* b) const
{
    if (m_kind == KeyKind::Numeric) {
        double x, y;
        std::memcpy(&x, a, 8);
        std::memcpy(&y, b, 8);
        return x < y ? -1 : x > y ? 1 : 0;
    }
    return std::memcmp(a, b, m_keyLength);
}

void KeySorter::add(std::string_view key, uint32_t recno)
{
    if (m_order.size() >= m_budgetItems)
        spillRun();
    const size_t at = m_arena.size();
    m_arena.resize(at + m_itemSize);
    std::memcpy(m_arena.data() + at, key.data(), std::min(key.size(), m_keyLength));
    if (key.size() < m_keyLength)
        std::memset(m_arena.data() + at + key.size(), ' ', m_keyLength - key.size());
    std::memcpy(m_arena.data() + at + m_keyLength, &recno, kRecnoSize);
    m_order.push_back(uint32_t(m_order.size()));
}

void KeySorter::sortRun()
{
    const uint8_t* base = m_arena.data();
    const size_t size = m_itemSize;
    auto less = [&](uint32_t a, uint32_t b) {
        const uint8_t* x = base + size_t(a) * size;
        const uint8_t* y = base + size_t(b) * size;
        const int c = compareKeys(x, y);
        if (c != 0)
            return c < 0;
        uint32_t ra, rb;
        std::memcpy(&ra, x + m_keyLength, 4);
        std::memcpy(&rb, y + m_keyLength, 4);
        return ra < rb;
    };
    std::sort(m_order.begin(), m_order.end(), less);
}

void KeySorter::spillRun()
{
    if (m_order.empty())
        return;
    if (!m_spill.isOpen()) {
        m_spillPath = uniqueFilename();
        if (m_spill.create(m_spillPath) != 0)
            fail(kDiskWriteError, "Error requesting unique file name [UniqueFilename]");
    }
    sortRun();
    std::vector<uint8_t> out(m_order.size() * m_itemSize);
    for (size_t i = 0; i < m_order.size(); ++i)
        std::memcpy(out.data() + i * m_itemSize, m_arena.data() + size_t(m_order[i]) * m_itemSize,
                    m_itemSize);
    const uint64_t offset =
        m_runs.empty() ? 0 : m_runs.back().offset + m_runs.back().items * m_itemSize;
    if (!m_spill.writeExact(offset, out.data(), out.size()))
        fail(kDiskWriteError, "Error writing sort file " + m_spillPath + " [MakeIndex]");
    m_runs.push_back({offset, m_order.size()});
    m_arena.clear();
    m_order.clear();
}

void KeySorter::drain(const std::function<void(const uint8_t* key, uint32_t recno)>& sink)
{
    auto recnoOf = [this](const uint8_t* item) {
        uint32_t r;
        std::memcpy(&r, item + m_keyLength, 4);
        return r;
    };
    if (m_runs.empty()) {
        sortRun();
        for (uint32_t i : m_order) {
            const uint8_t* item = m_arena.data() + size_t(i) * m_itemSize;
            sink(item, recnoOf(item));
        }
        return;
    }
    spillRun();
    // k-way merge; each run is read through a small buffer.
    struct Cursor {
        const Run* run;
        uint64_t next = 0; // items consumed from the file
        std::vector<uint8_t> buffer;
        size_t pos = 0, count = 0;
    };
    std::vector<Cursor> cursors;
    for (const Run& run : m_runs)
        cursors.push_back(Cursor{&run, 0, {}, 0, 0});
    auto refill = [&](Cursor& c) {
        const uint64_t n = std::min<uint64_t>(kMergeBufferItems, c.run->items - c.next);
        c.buffer.resize(size_t(n) * m_itemSize);
        if (n > 0 && !m_spill.readExact(c.run->offset + c.next * m_itemSize, c.buffer.data(),
                                        c.buffer.size()))
            fail(kDiskReadError, "Error reading sort file " + m_spillPath + " [MakeIndex]");
        c.next += n;
        c.pos = 0;
        c.count = size_t(n);
        return n > 0;
    };
    auto current = [&](const Cursor& c) { return c.buffer.data() + c.pos * m_itemSize; };
    auto greater = [&](size_t a, size_t b) {
        const uint8_t* x = current(cursors[a]);
        const uint8_t* y = current(cursors[b]);
        const int c = compareKeys(x, y);
        if (c != 0)
            return c > 0;
        return recnoOf(x) > recnoOf(y);
    };
    std::priority_queue<size_t, std::vector<size_t>, decltype(greater)> heap(greater);
    for (size_t i = 0; i < cursors.size(); ++i)
        if (refill(cursors[i]))
            heap.push(i);
    while (!heap.empty()) {
        const size_t i = heap.top();
        heap.pop();
        Cursor& c = cursors[i];
        const uint8_t* item = current(c);
        sink(item, recnoOf(item));
        if (++c.pos < c.count || refill(c))
            heap.push(i);
    }
}

} // namespace dbf
