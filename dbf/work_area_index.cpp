#include "dbf/work_area_internal.h"

#include "base/ascii.h"
#include "dbf/clean_marker.h"
#include "dbf/dbf_error.h"
#include "dbf/file_name.h"
#include "dbf/key_sorter.h"
#include "dbf/little_endian.h"
#include "dbf/real48.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>
#include <unistd.h>

namespace dbf {

// --- indexes ----------------------------------------------------------------------------

bool WorkArea::anyIndexOpen() const
{
    return std::any_of(m_indexes.begin(), m_indexes.end(),
                       [](const auto& p) { return p != nullptr; });
}

bool WorkArea::hasIndexFile(const std::string& path) const
{
    for (const auto& idx : m_indexes)
        if (idx && idx->path() == path)
            return true;
    return false;
}

// The key of the first record (or of a blank record): it gives the type of an
// index, and the length of a text key. `buffer` is left holding that record.
ExprValue WorkArea::firstKey(const KeyExpression* compiled, std::vector<uint8_t>& buffer)
{
    std::vector<uint8_t> image(static_cast<size_t>(m_recordLength), uint8_t(' '));
    buffer.assign(m_bufferSize, 0);
    if (m_count > 0) {
        readImage(1, image.data());
        unpack(image.data(), buffer.data());
    } else {
        std::vector<uint8_t> saved(m_buffer, m_buffer + m_bufferSize);
        clearRecord();
        buffer.assign(m_buffer, m_buffer + m_bufferSize);
        std::memcpy(m_buffer, saved.data(), saved.size());
    }
    ExprValue value;
    if (!compiled)
        value = m_config.keyMaker(KeyRecord(m_fields, image.data(), 1));
    else
        compiled->evaluate(context(buffer.data(), 1, m_count > 0 ? image.data() : nullptr), value);
    return value;
}

void WorkArea::buildIndex(const std::string& expression, const IndexOptions& options)
{
    const KeyMaker& keyMaker = m_config.keyMaker;
    const bool byKeyMaker = expression.empty();
    if (byKeyMaker && !keyMaker)
        fail(kKeyMakerMissing, "Neither Expression nor KeyMaker defined");
    if (expression.size() > size_t(NdxIndex::kMaxExpressionLength))
        fail(kExpressionTooLong, "Expression length exceeds 100 bytes");
    const bool lockedForBuild = !m_exclusive && m_lockState != LockState::File;
    if (lockedForBuild) {
        try {
            lockFile();
        } catch (const DbfFailure&) {
            fail(kExclusiveRequired,
                 "Cannot lock " + m_path + " to build " + options.path + " [MakeIndex]");
        }
    }
    std::unique_ptr<KeyExpression> compiled;
    if (!byKeyMaker) {
        std::string error;
        compiled = KeyExpression::compile(expression, m_fields, error);
        if (!compiled)
            fail(kInvalidParameter, error);
    }

    std::vector<uint8_t> buffer;
    ExprValue value = firstKey(compiled.get(), buffer);
    const char type = value.type == 'F' ? 'N' : value.type;
    if (type != 'C' && type != 'N' && type != 'D')
        fail(kInvalidParameter, "Wrong parser return type");
    int keyLength = 8;
    if (type == 'C')
        keyLength = byKeyMaker && options.soundex ? 4 : int(value.text.size());
    if (keyLength < 1 || keyLength > NdxIndex::kMaxKeyLength)
        fail(kInvalidSize, "Incorrect key length: Must be 1 to 100.");
    NdxIndex::Header header;
    header.setKey(type, keyLength);
    header.unique = options.unique || m_config.uniqueIndexes;
    header.expression = expression;

    writePendingRecords();
    KeySorter sorter(size_t(keyLength),
                     type == 'C' ? KeySorter::KeyKind::Character : KeySorter::KeyKind::Numeric,
                     m_config.sortMemory);
    // Only the fields the key reads are unpacked for each record.
    const std::vector<int> used = compiled ? compiled->usedFields() : std::vector<int>{};
    const size_t perChunk = std::max<size_t>(1, kBulkBytes / size_t(m_recordLength));
    std::vector<uint8_t> chunk = bulkBuffer(perChunk * size_t(m_recordLength), "MakeIndex");
    std::string key(size_t(keyLength), ' ');
    for (uint32_t start = 1; start <= m_count; start += uint32_t(perChunk)) {
        const uint32_t n = std::min<uint32_t>(uint32_t(perChunk), m_count - start + 1);
        if (!m_file.readExact(recordOffset(start), chunk.data(),
                              size_t(n) * size_t(m_recordLength)))
            fail(kUnexpectedEof, "Unexpected end of " + m_path + " [MakeIndex]");
        for (uint32_t i = 0; i < n; ++i) {
            uint8_t* rec = chunk.data() + size_t(i) * size_t(m_recordLength);
            if (m_afterRead)
                m_afterRead(rec + 1, size_t(m_recordLength - 1));
            if (byKeyMaker) {
                value = keyMaker(KeyRecord(m_fields, rec, long(start + i)));
                if ((value.type == 'C') != (type == 'C'))
                    fail(kInvalidParameter, "Wrong parser return type");
                sorter.add(keyMakerKey(value, keyLength, options.soundex, options.descending),
                           start + i);
                continue;
            }
            buffer[0] = rec[0] == kDeletedMark ? 1 : 0;
            for (int f : used)
                unpackField(m_fields[size_t(f)], rec, buffer.data());
            compiled->evaluate(context(buffer.data(), long(start + i), rec), value);
            if (type == 'C') {
                const size_t copy = std::min(value.text.size(), size_t(keyLength));
                std::memcpy(key.data(), value.text.data(), copy);
                std::memset(key.data() + copy, ' ', size_t(keyLength) - copy);
            } else {
                std::memcpy(key.data(), &value.number, 8);
            }
            sorter.add(key, start + i);
        }
    }
    beginChange(false);
    m_currentAt.erase(options.path);
    NdxIndex::writeTree(options.path, header, sorter, long(m_count),
                        base::toUpper(baseName(m_path)));
    m_currentAt[options.path] = m_changeCount;
    if (lockedForBuild)
        unlockAll();
}

void WorkArea::makeIndex(const std::string& expression, const std::string& fileWithOptions)
{
    const IndexOptions options = parseIndexOptions(fileWithOptions);
    if (options.path.empty())
        fail(kInvalidParameter, "index filename not specified [MakeIndex()]");
    if (hasIndexFile(options.path))
        fail(kFileInUse, "Index file " + options.path + " is in use [MakeIndex]");
    ChangeGuard guard(*this, false);
    buildIndex(expression, options);
}

void WorkArea::rebuildIndex(int slot)
{
    NdxIndex* idx = index(slot);
    const IndexOptions options = m_indexOptions[size_t(slot - 1)];
    const std::string expression = idx->header().expression;
    IndexOptions build = options;
    build.unique = options.unique || idx->header().unique;
    m_slotCurrent[size_t(slot - 1)] = false;
    idx->close(long(m_count), base::toUpper(baseName(m_path)));
    m_indexes[size_t(slot - 1)].reset();
    buildIndex(expression, build);
    openIndexSlot(options, slot);
}

void WorkArea::openIndexSlot(const IndexOptions& options, int slot)
{
    auto idx = std::make_unique<NdxIndex>();
    idx->open(options.path,
              m_exclusive ? PosixFile::Sharing::Exclusive : PosixFile::Sharing::Shared, m_fields,
              m_number, m_config.keyMaker);
    idx->descending = options.descending;
    idx->soundexKeys = options.soundex;
    // Other programs may change a shared index at any time, so only an
    // exclusive one can keep nodes in memory.
    idx->setCaching(!options.noCache && m_exclusive);
    idx->setShared(!m_exclusive);
    m_indexes[size_t(slot - 1)] = std::move(idx);
    m_indexOptions[size_t(slot - 1)] = options;
    m_slotCurrent[size_t(slot - 1)] = slotCurrent(options.path);
    m_cursorSynced = false;
}

void WorkArea::closeIndexes()
{
    for (int slot = 1; slot <= kMaxIndexes; ++slot) {
        if (NdxIndex* idx = index(slot)) {
            idx->close(long(m_count), base::toUpper(baseName(m_path)));
            forgetSlot(slot);
            m_indexes[size_t(slot - 1)].reset();
        }
    }
    m_order = 0;
    m_cursorSynced = false;
    m_semaphore.close();
}

void WorkArea::setIndexToLfn(const std::string& fileWithOptions, int order)
{
    if (order < 1 || order > kMaxIndexes)
        fail(kInvalidParameter,
             "Index Order parameter out of range [SetIndexTo(<>," + std::to_string(order) + ")]");
    const IndexOptions options = parseIndexOptions(fileWithOptions);
    for (int slot = 1; slot <= kMaxIndexes; ++slot)
        if (slot != order && index(slot) && index(slot)->path() == options.path)
            fail(kFileInUse, "Attempting to set index of same name for " + m_alias);
    if (NdxIndex* old = index(order)) {
        old->close(long(m_count), base::toUpper(baseName(m_path)));
        forgetSlot(order);
        m_indexes[size_t(order - 1)].reset();
    }
    try {
        openIndexSlot(options, order);
    } catch (...) {
        // The old file in this slot is already closed: never leave the
        // controlling order pointing at the empty slot.
        if (m_order != 0 && !index(m_order))
            m_order = 0;
        m_cursorSynced = false;
        throw;
    }
    m_order = 1;
    if (!index(1))
        m_order = order;
}

void WorkArea::setIndexTo(const std::string& list)
{
    closeIndexes();
    const std::vector<IndexListEntry> entries = splitIndexList(list);
    if (entries.size() > size_t(kMaxIndexes))
        fail(kInvalidParameter, "Too many index files [SetIndexTo]");
    try {
        for (size_t i = 0; i < entries.size(); ++i)
            openIndexSlot(parseIndexOptions(entries[i].text()), int(i + 1));
    } catch (...) {
        closeIndexes();
        throw;
    }
    m_order = entries.empty() ? 0 : 1;
}

void WorkArea::setOrder(int order)
{
    if (order < 0 || order > kMaxIndexes || (order > 0 && !index(order)))
        fail(kInvalidParameter,
             "Invalid Index Order Specified: SET_ORDER_TO. (DBF=" + m_alias + ")");
    m_order = order;
    m_cursorSynced = false;
}

bool WorkArea::find(const std::string& key)
{
    if (m_order == 0)
        fail(kInvalidParameter, "Cannot use Find() with index order 0 (natural order) [Find]");
    NdxIndex* idx = &orderIndex(nullptr);
    std::string probe = key;
    if (idx->header().keyType != 0) {
        double number = 0;
        if (idx->header().keyTypeLetter == 'D') {
            CalendarDate d = parseDtos(key);
            if (!d.valid())
                d = parseDateText(key, m_config.dates.style, m_config.dates.century);
            number = double(julianDay(d));
        } else {
            number = std::strtod(key.c_str(), nullptr);
        }
        if (idx->madeByKeyMaker() && idx->descending)
            number = -number;
        probe.assign(8, '\0');
        std::memcpy(probe.data(), &number, 8);
    } else {
        if (idx->madeByKeyMaker() && idx->soundexKeys)
            probe = soundex(probe);
        if (probe.size() > size_t(idx->header().keyLength))
            probe.resize(size_t(idx->header().keyLength));
        if (idx->madeByKeyMaker() && idx->descending)
            for (char& ch : probe)
                ch = char(0xFF - static_cast<unsigned char>(ch));
    }
    const bool found = walkIndex(*idx, [&] {
        uint32_t r = idx->seek(probe);
        while (r != 0) {
            const std::string here = idx->currentKey();
            if (idx->compareKeys(reinterpret_cast<const uint8_t*>(here.data()),
                                 reinterpret_cast<const uint8_t*>(probe.data()), probe.size()) != 0)
                break;
            readRecord(long(r));
            m_cursorSynced = true;
            if (visible())
                return true;
            r = idx->next();
        }
        return false;
    });
    if (!found)
        setEof();
    return found;
}

void WorkArea::reindex()
{
    if (!anyIndexOpen())
        fail(kIndexNotOpen, "No open indexes with " + m_alias + " [Reindex]");
    for (int slot = 1; slot <= kMaxIndexes; ++slot) {
        if (index(slot))
            rebuildIndex(slot);
    }
    m_cursorSynced = false;
}

std::string WorkArea::currentKey()
{
    if (m_order == 0 || m_eof)
        return {};
    NdxIndex& idx = orderIndex(nullptr);
    return walkIndex(idx, [&] {
        syncCursor();
        return idx.currentKey();
    });
}

void WorkArea::setWhile(const std::string& expression)
{
    if (expression.empty()) {
        m_while.reset();
        return;
    }
    std::string error;
    auto compiled = KeyExpression::compile(expression, m_fields, error);
    if (!compiled)
        fail(kInvalidParameter, error);
    if (compiled->resultType() != 'L')
        fail(kInvalidParameter, "Wrong parser return type");
    m_while = std::move(compiled);
}

} // namespace dbf
