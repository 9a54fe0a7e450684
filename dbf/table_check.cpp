#include "dbf/table_check.h"

#include "base/ascii.h"
#include "dbf/dbf_error.h"
#include "dbf/key_expression.h"
#include "dbf/little_endian.h"
#include "dbf/memo_file.h"
#include "dbf/ndx_index.h"
#include "dbf/posix_file.h"
#include "dbf/real48.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

namespace dbf {

namespace {

constexpr size_t kNodeHeader = 4;
constexpr size_t kEntryPrefix = 8;
constexpr int kMaxDepth = 32;

struct Table {
    PosixFile file;
    std::vector<uint8_t> header;
    int headerLength = 0;
    int recordLength = 0;
    uint32_t count = 0;
    FieldList fields;
    std::vector<uint8_t> records; // all records, for key and memo checks
};

std::string checkHeader(const std::string& path, Table& t)
{
    if (t.file.open(path, PosixFile::Sharing::Unguarded) != 0)
        return path + ": cannot open";
    const uint64_t size = t.file.size();
    uint8_t prolog[32];
    if (!t.file.readExact(0, prolog, 32))
        return path + ": header shorter than 32 bytes";
    const int low = prolog[0] & 7;
    if (low < 3)
        return path + ": invalid version byte";
    t.headerLength = getU16(prolog + 8);
    t.recordLength = getU16(prolog + 10);
    t.count = getU32(prolog + 4);
    const int n = (t.headerLength - 33) / 32;
    if (t.headerLength < 65 || (t.headerLength - 33) % 32 != 0 || uint64_t(t.headerLength) > size)
        return path + ": header length " + std::to_string(t.headerLength) + " is invalid";
    t.header.resize(size_t(t.headerLength));
    t.file.readExact(0, t.header.data(), t.header.size());
    if (t.header[size_t(t.headerLength) - 1] != 0x0D)
        return path + ": header terminator missing";
    int offset = 1;
    size_t slot = 1;
    for (int i = 0; i < n; ++i) {
        const uint8_t* d = t.header.data() + 32 + 32 * i;
        FieldInfo f;
        const char* name = reinterpret_cast<const char*>(d);
        f.name = std::string(name, strnlen(name, 11));
        f.type = char(d[11]);
        f.length = d[16];
        f.decimals = (f.type == 'N' || f.type == 'F') ? d[17] : 0;
        if (std::string("CDFLMN").find(f.type) == std::string::npos || f.type == 0)
            return path + ": field " + f.name + " has invalid type";
        if (f.length == 0)
            return path + ": field " + f.name + " has length 0";
        f.offset = offset;
        offset += f.length;
        f.slot = int(slot);
        f.slotSize = f.type == 'C'       ? 1 + f.length
                     : f.type == 'D'     ? 3 + f.length
                     : f.type == 'L'     ? 1
                     : f.isReal()        ? kReal48Size
                     : f.isWideInteger() ? 8
                                         : 4;
        slot += size_t(f.slotSize);
        t.fields.push_back(f);
    }
    if (offset != t.recordLength)
        return path + ": record length " + std::to_string(t.recordLength) +
               " does not match the fields (" + std::to_string(offset) + ")";
    const uint64_t data = uint64_t(t.headerLength) + uint64_t(t.count) * uint64_t(t.recordLength);
    if (size != data + 1 && size != data)
        return path + ": record count " + std::to_string(t.count) + " does not match file size " +
               std::to_string(size);
    if (size == data + 1) {
        uint8_t marker = 0;
        t.file.readExact(data, &marker, 1);
        if (marker != 0x1A)
            return path + ": end marker missing";
    } else {
        return path + ": end marker missing";
    }
    t.records.resize(size_t(t.count) * size_t(t.recordLength));
    if (!t.records.empty() &&
        !t.file.readExact(uint64_t(t.headerLength), t.records.data(), t.records.size()))
        return path + ": records unreadable";
    for (uint32_t r = 0; r < t.count; ++r) {
        const uint8_t flag = t.records[size_t(r) * size_t(t.recordLength)];
        if (flag != ' ' && flag != '*')
            return path + ": record " + std::to_string(r + 1) + " has deletion flag " +
                   std::to_string(flag);
    }
    return {};
}

std::string checkMemos(const std::string& path, Table& t)
{
    bool anyMemo = false;
    for (const auto& f : t.fields)
        anyMemo = anyMemo || f.type == 'M';
    if (!anyMemo)
        return {};
    std::string memoPath = path.substr(0, path.rfind('.')) + ".dbt";
    if (!fileExists(memoPath))
        memoPath = path.substr(0, path.rfind('.')) + ".DBT";
    MemoFile memo;
    if (memo.open(memoPath, PosixFile::Sharing::Unguarded) != 0)
        return memoPath + ": cannot open memo file";
    for (uint32_t r = 0; r < t.count; ++r) {
        const uint8_t* rec = t.records.data() + size_t(r) * size_t(t.recordLength);
        for (const auto& f : t.fields) {
            if (f.type != 'M')
                continue;
            const std::string text = base::trimmedSpaces(
                std::string(reinterpret_cast<const char*>(rec + f.offset), size_t(f.length)));
            if (text.empty())
                continue;
            char* end = nullptr;
            const long block = std::strtol(text.c_str(), &end, 10);
            if (*end != '\0')
                return path + ": record " + std::to_string(r + 1) + " memo pointer '" + text +
                       "' is not a number";
            if (block <= 0)
                continue;
            try {
                memo.readRaw(int32_t(block), long(r + 1));
            } catch (const DbfFailure& failure) {
                return failure.message;
            }
        }
    }
    return {};
}

struct Walk {
    const NdxIndex::Header& h;
    PosixFile& file;
    std::set<uint32_t> visited;
    std::vector<std::pair<std::string, uint32_t>> entries;
    int leafDepth = -1;
    std::string error;

    int compare(const std::string& a, const std::string& b) const
    {
        if (h.keyType != 0) {
            double x, y;
            std::memcpy(&x, a.data(), 8);
            std::memcpy(&y, b.data(), 8);
            return x < y ? -1 : x > y ? 1 : 0;
        }
        return std::memcmp(a.data(), b.data(), a.size());
    }

    // Returns false on a fault; fills the subtree's lowest and highest key.
    bool node(uint32_t block, int depth, std::string& low, std::string& high)
    {
        if (depth > kMaxDepth) {
            error = "tree deeper than " + std::to_string(kMaxDepth) + " levels";
            return false;
        }
        if (block == 0 || block >= h.nextFree) {
            error = "node pointer " + std::to_string(block) + " outside the file";
            return false;
        }
        if (!visited.insert(block).second) {
            error = "node " + std::to_string(block) + " is reached twice";
            return false;
        }
        uint8_t b[512];
        if (!file.readExact(uint64_t(block) * 512, b, 512)) {
            error = "node " + std::to_string(block) + " unreadable";
            return false;
        }
        const uint32_t n = getU32(b);
        if (n > uint32_t(h.keysPerNode)) {
            error = "node " + std::to_string(block) + " holds " + std::to_string(n) + " keys";
            return false;
        }
        const size_t g = size_t(h.groupLength);
        auto keyAt = [&](uint32_t i) {
            return std::string(
                reinterpret_cast<const char*>(b + kNodeHeader + i * g + kEntryPrefix),
                size_t(h.keyLength));
        };
        const bool leaf = getU32(b + kNodeHeader) == 0;
        if (leaf) {
            if (leafDepth < 0)
                leafDepth = depth;
            if (leafDepth != depth) {
                error = "leaves at different depths";
                return false;
            }
            for (uint32_t i = 0; i < n; ++i) {
                if (getU32(b + kNodeHeader + i * g) != 0) {
                    error = "leaf " + std::to_string(block) + " has a child pointer";
                    return false;
                }
                const std::string key = keyAt(i);
                if (!entries.empty() && compare(entries.back().first, key) > 0) {
                    error = "keys out of order in node " + std::to_string(block);
                    return false;
                }
                entries.emplace_back(key, getU32(b + kNodeHeader + i * g + 4));
            }
            if (n > 0) {
                low = keyAt(0);
                high = keyAt(n - 1);
            }
            return true;
        }
        std::string previous;
        for (uint32_t i = 0; i <= n; ++i) {
            const uint32_t child = getU32(b + kNodeHeader + i * g);
            std::string childLow, childHigh;
            const size_t before = entries.size();
            if (!node(child, depth + 1, childLow, childHigh))
                return false;
            const bool empty = entries.size() == before;
            if (!empty && i > 0 && compare(childLow, previous) < 0) {
                error = "subtree of node " + std::to_string(child) + " lies below its separator";
                return false;
            }
            if (i < n) {
                const std::string separator = keyAt(i);
                if (!empty && compare(childHigh, separator) > 0) {
                    error = "separator in node " + std::to_string(block) + " is below its subtree";
                    return false;
                }
                previous = separator;
            }
            if (!empty) {
                if (low.empty())
                    low = childLow;
                high = childHigh;
            }
        }
        return true;
    }
};

std::string checkIndex(const std::string& path, Table& t)
{
    PosixFile file;
    if (file.open(path, PosixFile::Sharing::Unguarded) != 0)
        return path + ": cannot open";
    uint8_t head[512];
    if (file.size() < 1024 || !file.readExact(0, head, 512))
        return path + ": shorter than 1024 bytes";
    const NdxIndex::Header h = NdxIndex::Header::parse(head);
    NdxIndex::Header expected;
    expected.setKey(h.keyTypeLetter, h.keyLength);
    if (h.keyLength < 1 || h.keyLength > 100 || h.groupLength != expected.groupLength ||
        h.keysPerNode != expected.keysPerNode)
        return path + ": header geometry is inconsistent";
    if (uint64_t(h.nextFree) * 512 != file.size())
        return path + ": next free block " + std::to_string(h.nextFree) + " does not match size";
    // An index made by a key-maker function stores no expression: its keys
    // cannot be recomputed here, only its tree and records checked.
    std::unique_ptr<KeyExpression> expression;
    if (!h.expression.empty()) {
        std::string error;
        expression = KeyExpression::compile(h.expression, t.fields, error);
        if (!expression)
            return path + ": key expression \"" + h.expression + "\": " + error;
    }
    Walk walk{h, file, {}, {}, -1, {}};
    std::string low, high;
    if (!walk.node(h.root, 0, low, high))
        return path + ": " + walk.error;
    if (walk.visited.size() + 1 != h.nextFree)
        return path + ": " + std::to_string(h.nextFree - 1 - walk.visited.size()) +
               " nodes are unreachable";

    // Compute every record's key as the engine would.
    DateSettings dates;
    std::vector<uint8_t> buffer(
        t.fields.empty() ? 1 : size_t(t.fields.back().slot + t.fields.back().slotSize));
    std::map<uint32_t, std::string> keys;
    for (uint32_t r = 1; expression && r <= t.count; ++r) {
        const uint8_t* rec = t.records.data() + size_t(r - 1) * size_t(t.recordLength);
        buffer[0] = rec[0] == '*';
        for (const auto& f : t.fields) {
            uint8_t* slot = buffer.data() + f.slot;
            const char* text = reinterpret_cast<const char*>(rec + f.offset);
            if (f.type == 'C') {
                slot[0] = uint8_t(f.length);
                std::memcpy(slot + 1, text, size_t(f.length));
            } else if (f.type == 'D') {
                const std::string shown = formatDate(parseDtos(std::string_view(text, 8)), 0, true);
                slot[0] = uint8_t(shown.size());
                std::memcpy(slot + 1, shown.data(), shown.size());
            } else if (f.type == 'L') {
                slot[0] = std::strchr("TtYy", text[0]) && text[0] ? 1 : 0;
            } else if (f.isReal()) {
                encodeReal48(std::strtod(std::string(text, size_t(f.length)).c_str(), nullptr),
                             slot);
            } else if (f.isWideInteger()) {
                const int64_t v =
                    int64_t(std::strtoll(std::string(text, size_t(f.length)).c_str(), nullptr, 10));
                std::memcpy(slot, &v, 8);
            } else {
                const int32_t v =
                    int32_t(std::strtol(std::string(text, size_t(f.length)).c_str(), nullptr, 10));
                std::memcpy(slot, &v, 4);
            }
        }
        EvalContext context;
        context.buffer = buffer.data();
        context.recno = long(r);
        context.dates = &dates;
        ExprValue value;
        expression->evaluate(context, value);
        std::string key;
        if (h.keyType == 0) {
            key = value.text;
            key.resize(size_t(h.keyLength), ' ');
        } else {
            key.assign(8, '\0');
            std::memcpy(key.data(), &value.number, 8);
        }
        keys[r] = key;
    }
    std::set<uint32_t> seen;
    for (const auto& [key, recno] : walk.entries) {
        if (recno < 1 || recno > t.count)
            return path + ": entry points to record " + std::to_string(recno) + " of " +
                   std::to_string(t.count);
        if (!seen.insert(recno).second)
            return path + ": record " + std::to_string(recno) + " is indexed twice";
        if (expression && keys[recno] != key)
            return path + ": key of record " + std::to_string(recno) + " does not match the record";
    }
    if (h.unique && !expression) {
        if (seen.size() > t.count)
            return path + ": holds more entries than records";
    } else if (h.unique) {
        std::set<std::string> distinct;
        for (const auto& [r, key] : keys)
            distinct.insert(key);
        if (distinct.size() != walk.entries.size())
            return path + ": unique index does not hold one entry per key";
    } else if (seen.size() != t.count) {
        return path + ": holds " + std::to_string(seen.size()) + " of " + std::to_string(t.count) +
               " records";
    }
    return {};
}

} // namespace

std::string checkTable(const std::string& tablePath, const std::vector<std::string>& indexPaths)
{
    Table table;
    if (std::string error = checkHeader(tablePath, table); !error.empty())
        return error;
    if (std::string error = checkMemos(tablePath, table); !error.empty())
        return error;
    for (const auto& path : indexPaths)
        if (std::string error = checkIndex(path, table); !error.empty())
            return error;
    return {};
}

} // namespace dbf
