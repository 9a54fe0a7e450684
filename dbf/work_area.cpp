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

namespace {

int slotSizeOf(const FieldInfo& f)
{
    switch (f.type) {
    case 'C':
        return 1 + f.length;
    case 'D':
        return 1 + f.length + 2;
    case 'L':
        return 1;
    case 'M':
        return 4;
    default:
        return f.isReal() ? kReal48Size : f.isWideInteger() ? 8 : 4;
    }
}

} // namespace

WorkArea::WorkArea(EngineConfig& config, int number) : m_config(config), m_number(number) {}

WorkArea::~WorkArea()
{
    try {
        if (isOpen())
            close();
    } catch (const DbfFailure&) {
        // Closing in a destructor has nobody to report to.
    }
}

// --- creation -------------------------------------------------------------------

void WorkArea::create(const std::string& path, const std::vector<FieldDef>& defs,
                      const EngineConfig& config)
{
    if (defs.empty() || defs.size() > 255)
        fail(kInvalidParameter, "Number of fields is out of range [CreateDbf(" + path + ")]");
    std::vector<FieldDef> fields;
    bool memo = false;
    int recordLength = 1;
    for (FieldDef f : defs) {
        std::string name = base::trimmedSpaces(f.name).substr(0, 10);
        name = base::toUpper(base::trimmedSpaces(name));
        if (name.empty())
            fail(kInvalidParameter, "Empty field name [CreateDbf(" + path + ")]");
        f.name = name;
        f.type = base::upperAscii(f.type);
        switch (f.type) {
        case 'D':
            f.length = 8;
            break;
        case 'L':
            f.length = 1;
            break;
        case 'M':
            f.length = 10;
            memo = true;
            break;
        case 'C':
        case 'N':
        case 'F':
            break;
        default:
            fail(kInvalidFieldType, "Invalid dBASE field definition [CreateDBF]");
        }
        if (f.type != 'N' && f.type != 'F')
            f.decimals = 0;
        const int maxLength = f.type == 'C' ? kMaxCharLength : 255;
        if (f.length < 1 || f.length > maxLength || f.decimals < 0 ||
            (f.decimals > 0 && f.decimals > f.length - 2))
            fail(kInvalidFieldType, "Invalid dBASE field definition [CreateDBF]");
        recordLength += f.length;
        fields.push_back(f);
    }
    if (recordLength > 0xFFFF)
        fail(kInvalidFieldType, "Invalid dBASE field definition [CreateDBF]");

    const int n = int(fields.size());
    const int headerLength = kPrologSize + kDescriptorSize * n + 1;
    std::vector<uint8_t> header(size_t(headerLength) + 1, 0);
    header[0] = memo ? (config.memoStyle == MemoStyle::DBase4 ? kVersionMemo4 : kVersionMemo3)
                     : kVersionPlain;
    const CalendarDate today = config.dates.today();
    header[1] = uint8_t(today.year - 1900);
    header[2] = uint8_t(today.month);
    header[3] = uint8_t(today.day);
    putU32(&header[4], 0);
    putU16(&header[8], uint16_t(headerLength));
    putU16(&header[10], uint16_t(recordLength));
    for (int i = 0; i < n; ++i) {
        uint8_t* d = &header[size_t(kPrologSize + kDescriptorSize * i)];
        std::memcpy(d, fields[size_t(i)].name.data(), fields[size_t(i)].name.size());
        d[11] = uint8_t(fields[size_t(i)].type);
        d[16] = uint8_t(fields[size_t(i)].length);
        d[17] = uint8_t(fields[size_t(i)].decimals);
    }
    header[size_t(headerLength) - 1] = kHeaderTerminator;
    header[size_t(headerLength)] = kEndOfFile;

    PosixFile file;
    if (const int code = file.create(path); code != 0)
        fail(code, "Cannot create " + path + " [CreateDbf(" + path + ")]");
    if (!file.writeExact(0, header.data(), header.size()))
        fail(kDiskWriteError, "Error writing " + path + " [CreateDbf(" + path + ")]");
    file.close();
    if (memo) {
        const std::string memoFile = withExtension(
            path, hasExtension(path) && std::isupper(static_cast<unsigned char>(path.back()))
                      ? ".DBT"
                      : ".dbt");
        try {
            MemoFile::create(memoFile, config.memoStyle,
                             base::toUpper(withExtension(baseName(path), "")));
        } catch (const DbfFailure&) {
            fail(kInvalidParameter, "Cannot create memo file " + memoFile + " [CreateDbf]");
        }
    }
}

// --- open and close ---------------------------------------------------------------

void WorkArea::open(const std::string& path, const std::string& alias, bool exclusive,
                    uint8_t* callerBuffer, size_t callerSize)
{
    m_path = path;
    m_alias = alias;
    m_exclusive = exclusive || !m_config.networkSharing;
    recoverPack(path);
    const auto sharing = m_exclusive ? PosixFile::Sharing::Exclusive : PosixFile::Sharing::Shared;
    if (const int code = m_file.open(path, sharing); code != 0)
        fail(code, "Cannot open " + path + " [USE/OpenDBF]");
    try {
        readHeader();
        layoutBuffer(callerBuffer, callerSize);
        if (m_hasMemo)
            openMemo();
    } catch (...) {
        m_file.close();
        m_memo.close();
        throw;
    }
    m_change = ChangeState::Clean;
    m_lockState = LockState::None;
    m_order = 0;
    m_changeCount = 0;
    m_markerRemoved = false;
    m_changeFailed = false;
    m_slotCurrent.fill(false);
    m_currentAt.clear();
    m_vouched.clear();
    if (m_exclusive)
        m_vouched = CleanMarker::vouchedStamps(m_path);
    dropReadAhead();
    if (m_count == 0)
        setBlankBoth();
    else
        goTop();
}

void WorkArea::readHeader()
{
    const std::string notDbase = m_path + " is not a dBASE database.";
    if (!m_file.readExact(0, m_header, kPrologSize))
        fail(kNotDbaseFile, notDbase + " (" + "Prolog is less than 32 bytes" + ") [USE/OpenDBF]");
    const uint8_t version = m_header[0];
    const int low = version & 0x07;
    const bool custom = m_config.customSignature >= 0 && version == m_config.customSignature;
    if (!custom && (low < 2 || low > 7))
        fail(kNotDbaseFile, notDbase + "(" + "Invalid version byte" + ")+ [USE/OpenDBF]");
    if (!custom && low == 2)
        fail(kFormatNotSupported, notDbase + " (dBASE II tables are not supported) [USE/OpenDBF]");
    m_headerLength = getU16(m_header + 8);
    m_recordLength = getU16(m_header + 10);
    const int fieldCount =
        m_headerLength < kPrologSize ? 0 : (m_headerLength - kPrologSize) / kDescriptorSize;
    if (fieldCount == 0 || fieldCount % 256 == 0)
        fail(kNotDbaseFile,
             notDbase + " (" + "Number of fields is out of range" + ") [Use/OpenDbf]");
    std::vector<uint8_t> rest(size_t(m_headerLength - kPrologSize));
    if (!m_file.readExact(kPrologSize, rest.data(), rest.size()))
        fail(kDiskReadError, "Error reading " + m_path + " [USE/OpenDBF]");

    m_fields.clear();
    int offset = 1;
    bool memoField = false;
    for (int i = 0; i < fieldCount; ++i) {
        const uint8_t* d = rest.data() + size_t(i) * kDescriptorSize;
        if (d[0] == kHeaderTerminator)
            break; // a header with padding after its terminator
        FieldInfo f;
        const char* name = reinterpret_cast<const char*>(d);
        f.name = base::toUpper(std::string(name, strnlen(name, 11)));
        f.type = base::upperAscii(char(d[11]));
        f.length = d[16];
        f.decimals = d[17];
        if (std::string("CDFLMN").find(f.type) == std::string::npos || f.type == '\0')
            fail(kInvalidFieldType, "Field: " + f.name + " [" + std::string(1, char(d[11])) +
                                        "] in " + m_path + " is not a valid field type");
        if (f.type != 'N' && f.type != 'F')
            f.decimals = 0;
        if (f.length == 0)
            fail(kNotDbaseFile, notDbase + " (Field " + f.name + " has length 0) [Use/OpenDbf]");
        f.offset = offset;
        offset += f.length;
        memoField = memoField || f.type == 'M';
        m_fields.push_back(f);
    }
    if (m_fields.empty())
        fail(kNotDbaseFile,
             notDbase + " (" + "Number of fields is out of range" + ") [Use/OpenDbf]");
    // The record must hold every field, or reads would run past the record.
    if (offset > m_recordLength)
        fail(kNotDbaseFile,
             notDbase + " (Record length is too short for its fields) [Use/OpenDbf]");
    m_hasMemo = (version & kMemoFlag) != 0 || memoField;
    if (m_hasMemo && !memoField)
        m_hasMemo = false; // a memo flag without memo fields needs no memo file

    const uint64_t size = m_file.size();
    const uint32_t stored = getU32(m_header + 4);
    const uint32_t fromSize =
        size > uint64_t(m_headerLength)
            ? uint32_t((size - uint64_t(m_headerLength)) / uint64_t(m_recordLength))
            : 0;
    // Records past the end of the file cannot exist, whatever the header
    // says: a crash during a change can leave it ahead of the file.
    m_count = m_config.autoFixRecCount ? fromSize : std::min(stored, fromSize);
}

void WorkArea::layoutBuffer(uint8_t* callerBuffer, size_t callerSize)
{
    size_t slot = 1;
    for (FieldInfo& f : m_fields) {
        f.slot = int(slot);
        f.slotSize = slotSizeOf(f);
        slot += size_t(f.slotSize);
    }
    m_bufferSize = slot;
    m_image.assign(size_t(m_recordLength), kActiveMark);
    if (callerBuffer) {
        if (callerSize != m_bufferSize)
            fail(kInvalidParameter,
                 "Database record/buffer size mismatch: " + std::to_string(callerSize) + " <> " +
                     std::to_string(m_bufferSize) + " [USE/OpenDBF]");
        m_buffer = callerBuffer;
    } else {
        try {
            m_ownBuffer.assign(m_bufferSize, 0);
        } catch (const std::bad_alloc&) {
            fail(kInsufficientMemory, "Not enough memory to open " + m_path + " [Use/OpenDBF]");
        }
        m_buffer = m_ownBuffer.data();
    }
}

std::string WorkArea::memoPath() const
{
    const std::string upperName = withExtension(m_path, ".DBT");
    const std::string lowerName = withExtension(m_path, ".dbt");
    const bool upperTable =
        !m_path.empty() && std::isupper(static_cast<unsigned char>(m_path.back()));
    const std::string& preferred = upperTable ? upperName : lowerName;
    const std::string& other = upperTable ? lowerName : upperName;
    return fileExists(preferred) || !fileExists(other) ? preferred : other;
}

void WorkArea::openMemo()
{
    const auto sharing = m_exclusive ? PosixFile::Sharing::Exclusive : PosixFile::Sharing::Shared;
    if (m_memo.open(memoPath(), sharing) != 0)
        fail(kFileNotFound, "Problem with memo [USE(" + m_path + ")]");
    configureMemo();
}

void WorkArea::configureMemo()
{
    m_memo.setStyle(m_header[0] == kVersionMemo4 ? MemoStyle::DBase4 : MemoStyle::DBase3);
    m_memo.setFlushEveryWrite(m_config.flushEveryWrite);
    m_memo.setSharedLocking(!m_exclusive, m_config.lockBase);
    m_memo.setBatching(m_config.batchAppends && m_exclusive);
}

void WorkArea::writeHeader(bool endMarker)
{
    writePendingRecords();
    const CalendarDate today = m_config.dates.today();
    m_header[1] = uint8_t(today.year - 1900);
    m_header[2] = uint8_t(today.month);
    m_header[3] = uint8_t(today.day);
    putU32(m_header + 4, m_count);
    if (!m_file.writeExact(0, m_header, 8))
        fail(kDiskWriteError, "File:  " + m_path + " [CloseDbf(" + m_path + ")]");
    if (endMarker) {
        const uint8_t marker = kEndOfFile;
        if (!m_file.writeExact(recordOffset(long(m_count) + 1), &marker, 1))
            fail(kDiskWriteError, "File:  " + m_path + " [CloseDbf(" + m_path + ")]");
    }
}

void WorkArea::close()
{
    dropReadAhead();
    writePendingRecords();
    if (!isOpen())
        return;
    std::vector<std::string> current;
    for (int slot = 1; slot <= kMaxIndexes; ++slot)
        if (index(slot) && m_slotCurrent[size_t(slot - 1)])
            current.push_back(index(slot)->path());
    closeIndexes();
    if (m_change == ChangeState::Rewritten || m_change == ChangeState::Appended)
        writeHeader(m_change == ChangeState::Appended);
    unlockAll();
    m_memo.close();
    m_file.close();
    m_change = ChangeState::Closed;
    writeCleanMarker(current);
    m_ownBuffer.clear();
    m_buffer = nullptr;
    m_while.reset();
}

void WorkArea::flush()
{
    m_memo.flush();
    for (int slot = 1; slot <= kMaxIndexes; ++slot)
        if (auto* idx = index(slot))
            idx->flush(long(m_count), base::toUpper(baseName(m_path)));
    if (m_change != ChangeState::Clean) {
        writeHeader(m_change == ChangeState::Appended);
        m_change = ChangeState::Clean;
    }
    if (!m_file.flush())
        fail(kDiskWriteError, "Unable to flush file " + m_path + " [FlushFile]");
}

// --- the clean marker ------------------------------------------------------------------

void WorkArea::beginChange(bool recordChange)
{
    if (!m_markerRemoved) {
        if (!CleanMarker::remove(m_path))
            fail(kDiskWriteError,
                 "Cannot remove " + CleanMarker::pathFor(m_path) + " [" + m_path + "]");
        m_markerRemoved = true;
        m_vouched.clear();
    }
    if (recordChange)
        ++m_changeCount;
}

bool WorkArea::slotCurrent(const std::string& indexPath) const
{
    const auto known = m_currentAt.find(indexPath);
    if (known != m_currentAt.end())
        return known->second == m_changeCount;
    FileStamp stamp;
    return m_changeCount == 0 && !m_vouched.empty() && stampOf(indexPath, stamp) &&
           std::find(m_vouched.begin(), m_vouched.end(), stamp) != m_vouched.end();
}

// Called before an open slot is closed: a slot that followed every change
// stays known as current for a later open in this session.
void WorkArea::forgetSlot(int slot)
{
    NdxIndex* idx = index(slot);
    if (!idx)
        return;
    if (m_slotCurrent[size_t(slot - 1)] && !m_changeFailed)
        m_currentAt[idx->path()] = m_changeCount;
    else
        m_currentAt.erase(idx->path());
    m_slotCurrent[size_t(slot - 1)] = false;
}

void WorkArea::writeCleanMarker(const std::vector<std::string>& currentIndexes)
{
    // Other programs may change a shared table at any time, so only an
    // exclusive one vouches for its indexes.
    if (!m_exclusive || m_changeFailed || currentIndexes.empty())
        return;
    if (!m_markerRemoved && CleanMarker::vouchesFor(m_path, currentIndexes))
        return; // unchanged since the marker was written
    CleanMarker::write(m_path, currentIndexes);
}

} // namespace dbf
