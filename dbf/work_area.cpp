#include "dbf/work_area.h"

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

constexpr uint8_t kHeaderTerminator = 0x0D;
constexpr uint8_t kEndOfFile = 0x1A;
constexpr uint8_t kDeletedMark = '*';
constexpr uint8_t kActiveMark = ' ';
constexpr int kDescriptorSize = 32;
constexpr int kPrologSize = 32;
constexpr uint8_t kVersionPlain = 0x03;
constexpr uint8_t kVersionMemo3 = 0x83;
constexpr uint8_t kVersionMemo4 = 0x8B;
constexpr uint8_t kMemoFlag = 0x80;
constexpr int kMaxCharLength = 254;
constexpr size_t kBulkBytes = size_t(1) << 20;
constexpr size_t kReadAheadBytes = 32768;
constexpr size_t kPendingBytes = 65536;
const char* const kPackIntentMagic = "quorvane-pack 1";
constexpr auto kSemaphoreTimeout = std::chrono::seconds(10);
constexpr auto kSemaphorePause = std::chrono::milliseconds(50);

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

// A whole number in field text, exactly: 64-bit integers, saturating; text
// with a fraction or exponent is rounded.
int64_t parseInteger(const char* text)
{
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (end && (*end == '.' || *end == 'e' || *end == 'E')) {
        const double real = std::round(std::strtod(text, nullptr));
        return real >= 9.2e18 ? INT64_MAX : real <= -9.2e18 ? INT64_MIN : int64_t(real);
    }
    return int64_t(value);
}

int64_t roundToInt64(double value)
{
    if (!(value == value))
        return 0;
    const double r = std::round(value);
    return r >= 9.2e18 ? INT64_MAX : r <= -9.2e18 ? INT64_MIN : int64_t(r);
}

std::string formatNumber(double value, int length, int decimals)
{
    char text[512];
    std::snprintf(text, sizeof text, "%*.*f", length, decimals, value);
    if (int(std::strlen(text)) > length)
        return std::string(size_t(length), '*');
    return text;
}

// The read/write buffer of a bulk pass over the records.
std::vector<uint8_t> bulkBuffer(size_t bytes, const char* operation)
{
    try {
        return std::vector<uint8_t>(bytes);
    } catch (const std::bad_alloc&) {
        fail(kInsufficientMemory, "Additional " + std::to_string(bytes) +
                                      " bytes of memory are needed. to allocate RW buffer [" +
                                      operation + "]");
    }
}

// The same text for a whole number, without going through a format string.
std::string formatInteger(int64_t value, int length)
{
    char digits[24];
    const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    const size_t n = size_t(end - digits);
    if (n > size_t(length))
        return std::string(size_t(length), '*');
    std::string out(size_t(length) - n, ' ');
    out.append(digits, n);
    return out;
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

// Marks the change as failed when an exception leaves the scope, so that no
// index is vouched for after a change that stopped half way.
class WorkArea::ChangeGuard {
public:
    ChangeGuard(WorkArea& area, bool recordChange)
        : m_area(area), m_exceptions(std::uncaught_exceptions())
    {
        area.beginChange(recordChange);
    }
    ~ChangeGuard()
    {
        if (std::uncaught_exceptions() > m_exceptions)
            m_area.m_changeFailed = true;
    }
    ChangeGuard(const ChangeGuard&) = delete;
    ChangeGuard& operator=(const ChangeGuard&) = delete;

private:
    WorkArea& m_area;
    int m_exceptions;
};

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

// --- record buffer ------------------------------------------------------------------

void WorkArea::unpackField(const FieldInfo& f, const uint8_t* image, uint8_t* buffer) const
{
    const char* text = reinterpret_cast<const char*>(image + f.offset);
    uint8_t* slot = buffer + f.slot;
    switch (f.type) {
    case 'C':
        slot[0] = uint8_t(f.length);
        std::memcpy(slot + 1, text, size_t(f.length));
        return;
    case 'D': {
        const std::string shown = formatDate(parseDtos(std::string_view(text, size_t(f.length))),
                                             m_config.dates.style, m_config.dates.fourDigitYear);
        const size_t n = std::min(shown.size(), size_t(f.length + 2));
        slot[0] = uint8_t(n);
        std::memcpy(slot + 1, shown.data(), n);
        return;
    }
    case 'L': {
        const char c = text[0];
        slot[0] = (c == 'T' || c == 't' || c == 'Y' || c == 'y') ? 1 : 0;
        return;
    }
    case 'M': {
        const std::string s = base::trimmedSpaces(std::string(text, size_t(f.length)));
        const long value = std::strtol(s.c_str(), nullptr, 10);
        const int32_t block = int32_t(std::clamp<long>(value, INT32_MIN, INT32_MAX));
        std::memcpy(slot, &block, 4);
        return;
    }
    default: {
        char local[256];
        std::memcpy(local, text, size_t(f.length));
        local[f.length] = '\0';
        if (f.isWideInteger()) {
            const int64_t v = parseInteger(local);
            std::memcpy(slot, &v, 8);
            return;
        }
        const double value = std::strtod(local, nullptr);
        if (f.isReal()) {
            encodeReal48(value, slot);
        } else {
            const int32_t v = int32_t(
                std::clamp<double>(std::round(value), double(INT32_MIN), double(INT32_MAX)));
            std::memcpy(slot, &v, 4);
        }
        return;
    }
    }
}

void WorkArea::unpack(const uint8_t* image, uint8_t* buffer) const
{
    if (buffer == m_buffer)
        m_exactWide.clear();
    buffer[0] = image[0] == kDeletedMark ? 1 : 0;
    for (const FieldInfo& f : m_fields)
        unpackField(f, image, buffer);
}

void WorkArea::packBuffer(uint8_t* image) const
{
    m_overflowField.clear();
    image[0] = m_buffer[0] ? kDeletedMark : kActiveMark;
    for (const FieldInfo& f : m_fields) {
        char* text = reinterpret_cast<char*>(image + f.offset);
        const uint8_t* slot = m_buffer + f.slot;
        std::string out;
        switch (f.type) {
        case 'C': {
            // Straight into the record: text fields are most of a record.
            const size_t n = std::min<size_t>(slot[0], size_t(f.length));
            std::memcpy(text, slot + 1, n);
            std::memset(text + n, ' ', size_t(f.length) - n);
            continue;
        }
        case 'D': {
            const std::string_view shown(reinterpret_cast<const char*>(slot + 1),
                                         std::min<size_t>(slot[0], size_t(f.length + 2)));
            // A two-digit year cannot say which century it means; when the
            // text is still the one the stored date was shown as, the stored
            // date stays, so rewriting a record never moves 1999 to 2099.
            const std::string stored(text, size_t(f.length));
            if (shown ==
                formatDate(parseDtos(stored), m_config.dates.style, m_config.dates.fourDigitYear)) {
                out = stored;
                break;
            }
            out = toDtos(parseDateText(shown, m_config.dates.style, m_config.dates.century));
            out.resize(size_t(f.length), ' ');
            break;
        }
        case 'L':
            out = slot[0] ? "T" : "F";
            break;
        case 'M': {
            // No memo is a blank field: some readers take "0" for block 0,
            // the memo file's header.
            int32_t block = 0;
            std::memcpy(&block, slot, 4);
            out = block == 0 ? std::string(size_t(f.length), ' ') : formatInteger(block, f.length);
            break;
        }
        default: {
            if (f.isReal()) {
                out = formatNumber(decodeReal48(slot), f.length, f.decimals);
            } else if (f.isWideInteger()) {
                int64_t v = 0;
                std::memcpy(&v, slot, 8);
                // A number beyond 64 bits reads as the nearest 64-bit value;
                // while the slot still holds that, the exact text (as set, or
                // else as stored) stays.
                const std::string stored(text, size_t(f.length));
                const int number = int(&f - m_fields.data()) + 1;
                const auto exact = m_exactWide.find(number);
                if (exact != m_exactWide.end() && exact->second.value == v)
                    out = exact->second.text.size() <= size_t(f.length)
                              ? std::string(size_t(f.length) - exact->second.text.size(), ' ') +
                                    exact->second.text
                              : std::string(size_t(f.length), '*');
                else
                    out = v == parseInteger(stored.c_str()) && !base::trimmedSpaces(stored).empty()
                              ? stored
                              : formatInteger(v, f.length);
            } else {
                int32_t v = 0;
                std::memcpy(&v, slot, 4);
                out = formatInteger(v, f.length);
            }
            break;
        }
        }
        // A number too wide for its field is stored as "*"s, and the
        // operation that writes it says so.
        if (f.isNumeric() && m_overflowField.empty() && out.find('*') != std::string::npos)
            m_overflowField = f.name;
        std::memcpy(text, out.data(), size_t(f.length));
    }
}

void WorkArea::reportOverflow(const char* operation) const
{
    if (!m_overflowField.empty())
        fail(kRangeCheck, "Value of field " + m_overflowField +
                              " does not fit its width and was stored as \"*\" [" + operation +
                              "]");
}

void WorkArea::clearRecord()
{
    m_exactWide.clear();
    m_buffer[0] = 0;
    for (const FieldInfo& f : m_fields) {
        uint8_t* slot = m_buffer + f.slot;
        std::memset(slot, 0, size_t(f.slotSize));
        if (f.type == 'C') {
            slot[0] = uint8_t(f.length);
            std::memset(slot + 1, ' ', size_t(f.length));
        } else if (f.type == 'D') {
            const std::string blank =
                blankDateText(m_config.dates.style, m_config.dates.fourDigitYear);
            const size_t n = std::min(blank.size(), size_t(f.length + 2));
            slot[0] = uint8_t(n);
            std::memcpy(slot + 1, blank.data(), n);
        }
    }
}

const FieldInfo& WorkArea::field(int number, const char* operation) const
{
    if (number < 1 || number > int(m_fields.size()))
        fail(kInvalidParameter, std::string("Invalid field number. [") + operation + "(" +
                                    std::to_string(number) + ")]");
    return m_fields[size_t(number - 1)];
}

int WorkArea::fieldNo(const std::string& name) const
{
    const std::string wanted = base::toUpper(base::trimmedSpaces(name));
    for (size_t i = 0; i < m_fields.size(); ++i)
        if (m_fields[i].name == wanted)
            return int(i + 1);
    return 0;
}

std::string WorkArea::rawFieldText(int number) const
{
    const FieldInfo& f = field(number, "RawFieldText");
    return std::string(reinterpret_cast<const char*>(m_image.data() + f.offset), size_t(f.length));
}

std::string WorkArea::fieldText(int number) const
{
    const FieldInfo& f = field(number, "FieldText");
    const uint8_t* slot = m_buffer + f.slot;
    switch (f.type) {
    case 'C':
    case 'D':
        return std::string(reinterpret_cast<const char*>(slot + 1),
                           std::min<size_t>(slot[0], size_t(f.slotSize - 1)));
    case 'L':
        return slot[0] ? "T" : "F";
    default: {
        if (f.isWideInteger()) {
            int64_t v = 0;
            std::memcpy(&v, slot, 8);
            return std::to_string(v);
        }
        std::string text = base::trimmedSpaces(
            f.type == 'M' ? std::to_string(fieldMemoBlock(number))
                          : formatNumber(fieldNumber(number), f.length, f.decimals));
        return text;
    }
    }
}

void WorkArea::setFieldText(int number, const std::string& text)
{
    const FieldInfo& f = field(number, "SetFieldText");
    uint8_t* slot = m_buffer + f.slot;
    switch (f.type) {
    case 'C': {
        const size_t n = std::min(text.size(), size_t(f.length));
        slot[0] = uint8_t(f.length);
        std::memcpy(slot + 1, text.data(), n);
        std::memset(slot + 1 + n, ' ', size_t(f.length) - n);
        return;
    }
    case 'D': {
        const size_t n = std::min(text.size(), size_t(f.length + 2));
        slot[0] = uint8_t(n);
        std::memcpy(slot + 1, text.data(), n);
        return;
    }
    case 'L':
        slot[0] = !text.empty() && std::strchr("TtYy", text[0]) ? 1 : 0;
        return;
    case 'M':
        setFieldMemoBlock(number, int32_t(std::strtol(text.c_str(), nullptr, 10)));
        return;
    default:
        if (f.isWideInteger()) {
            const int64_t v = parseInteger(text.c_str());
            std::memcpy(slot, &v, 8);
            m_exactWide.erase(number);
            rememberWide(number, base::trimmedSpaces(text), v);
            return;
        }
        setFieldNumber(number, std::strtod(text.c_str(), nullptr));
        return;
    }
}

// A whole number set into a wide field keeps its exact text for packing, so
// that one beyond 64 bits is stored as given (or overflows the field) instead
// of being clamped to the 64-bit slot.
void WorkArea::rememberWide(int number, const std::string& text, int64_t saturated)
{
    size_t digits = 0;
    while (digits < text.size() && (std::isdigit(static_cast<unsigned char>(text[digits])) ||
                                    (digits == 0 && (text[0] == '-' || text[0] == '+'))))
        ++digits;
    if (digits == 0 || digits != text.size())
        return;
    errno = 0;
    std::strtoll(text.c_str(), nullptr, 10);
    // Within 64 bits the value itself is exact; remembering it still matters,
    // since a set value must win over the text the record had before.
    if (errno == ERANGE)
        m_exactWide[number] = {text[0] == '+' ? text.substr(1) : text, saturated};
    else
        m_exactWide[number] = {std::to_string(saturated), saturated};
}

double WorkArea::fieldNumber(int number) const
{
    const FieldInfo& f = field(number, "FieldNumber");
    ExprValue value;
    readFieldValue(f, m_buffer, m_config.dates, value);
    if (f.type == 'C')
        return std::strtod(value.text.c_str(), nullptr);
    if (f.type == 'L')
        return value.logical ? 1 : 0;
    return value.number;
}

void WorkArea::setFieldNumber(int number, double value)
{
    const FieldInfo& f = field(number, "SetFieldNumber");
    uint8_t* slot = m_buffer + f.slot;
    if (f.isReal()) {
        encodeReal48(value, slot);
    } else if (f.isWideInteger()) {
        const int64_t v = roundToInt64(value);
        std::memcpy(slot, &v, 8);
        m_exactWide.erase(number);
        if (std::isfinite(value)) {
            char digits[512];
            std::snprintf(digits, sizeof digits, "%.0f", std::round(value));
            rememberWide(number, digits, v);
        }
    } else if (f.isNumeric() || f.type == 'M') {
        const int32_t v =
            int32_t(std::clamp<double>(std::round(value), double(INT32_MIN), double(INT32_MAX)));
        std::memcpy(slot, &v, 4);
    } else {
        fail(kInvalidParameter, "Field " + f.name + " is not numeric [SetFieldNumber]");
    }
}

bool WorkArea::fieldLogical(int number) const
{
    const FieldInfo& f = field(number, "FieldLogical");
    return f.type == 'L' && m_buffer[f.slot] != 0;
}

void WorkArea::setFieldLogical(int number, bool value)
{
    const FieldInfo& f = field(number, "SetFieldLogical");
    if (f.type != 'L')
        fail(kInvalidParameter, "Field " + f.name + " is not logical [SetFieldLogical]");
    m_buffer[f.slot] = value ? 1 : 0;
}

int32_t WorkArea::fieldMemoBlock(int number) const
{
    const FieldInfo& f = field(number, "FieldMemoBlock");
    if (f.type != 'M')
        return 0;
    int32_t block = 0;
    std::memcpy(&block, m_buffer + f.slot, 4);
    return block;
}

void WorkArea::setFieldMemoBlock(int number, int32_t block)
{
    const FieldInfo& f = field(number, "SetFieldMemoBlock");
    if (f.type != 'M')
        fail(kInvalidParameter, "Field " + f.name + " is not a memo [SetFieldMemoBlock]");
    std::memcpy(m_buffer + f.slot, &block, 4);
}

std::vector<std::string> WorkArea::readMemo(int32_t block) const
{
    if (!m_memo.isOpen())
        fail(kInvalidMemoOperation, "Invalid memo operation: database not open or no memo field in "
                                    "database [GetMemo]");
    return m_memo.read(block, m_recno);
}

std::string WorkArea::readMemoText(int32_t block) const
{
    if (!m_memo.isOpen())
        fail(kInvalidMemoOperation, "Invalid memo operation: database not open or no memo field in "
                                    "database [AssignMemo]");
    if (block == 0)
        return {};
    if (block < 0)
        return "(BLOB)";
    return m_memo.readRaw(block, m_recno).text;
}

int32_t WorkArea::writeMemo(const std::vector<std::string>& lines)
{
    if (!m_memo.isOpen())
        fail(kInvalidMemoOperation, "Invalid memo operation: database not open or no memo field in "
                                    "database [AssignMemo]");
    return m_memo.write(lines);
}

int32_t WorkArea::writeMemoText(const std::string& bytes)
{
    if (!m_memo.isOpen())
        fail(kInvalidMemoOperation, "Invalid memo operation: database not open or no memo field in "
                                    "database [AssignMemo]");
    return m_memo.writeText(bytes);
}

void WorkArea::checkMemoPointer(int number) const
{
    const FieldInfo& f = field(number, "GetMemo");
    const std::string text = base::trimmedSpaces(rawFieldText(number));
    if (text.empty() || m_eof)
        return;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' && value == fieldMemoBlock(number))
        fail(kInvalidMemoAddress, "Invalid memo address \"" + text + "\" in field " + f.name +
                                      " of record " + std::to_string(m_recno) + " [GetMemo]");
}

void WorkArea::writePendingRecords() const
{
    if (m_pendingRecords.empty())
        return;
    const bool written = m_file.writeExact(recordOffset(m_pendingFirst), m_pendingRecords.data(),
                                           m_pendingRecords.size());
    m_pendingRecords.clear();
    if (!written)
        fail(kDiskWriteError, "Error writing " + m_path + " [APPEND]");
}

// --- reading and positioning ----------------------------------------------------------

void WorkArea::readImage(long recno, uint8_t* image) const
{
    if (recno < 1 || recno > long(m_count))
        fail(kBeyondRange, "Invalid record number = " + std::to_string(recno) + "  [GetDbfRecord]");
    writePendingRecords();
    const size_t length = size_t(m_recordLength);
    if (recno >= m_aheadFirst && recno < m_aheadFirst + m_aheadCount) {
        std::memcpy(image, m_ahead.data() + size_t(recno - m_aheadFirst) * length, length);
    } else if (m_exclusive && recno == m_lastRead + 1 && recno < long(m_count)) {
        // Reading in record order: fetch the following records with this one.
        const long n =
            std::min<long>(long(kReadAheadBytes / length) + 1, long(m_count) - recno + 1);
        m_ahead.resize(size_t(n) * length);
        const size_t got = m_file.readAt(recordOffset(recno), m_ahead.data(), m_ahead.size());
        m_aheadFirst = recno;
        m_aheadCount = long(got / length);
        if (m_aheadCount == 0)
            fail(kUnexpectedEof, "Unexpected end of " + m_path + " reading record " +
                                     std::to_string(recno) + " [GetDbfRecord]");
        std::memcpy(image, m_ahead.data(), length);
    } else if (!m_file.readExact(recordOffset(recno), image, length)) {
        fail(kUnexpectedEof, "Unexpected end of " + m_path + " reading record " +
                                 std::to_string(recno) + " [GetDbfRecord]");
    }
    m_lastRead = recno;
    if (m_afterRead)
        m_afterRead(image + 1, size_t(m_recordLength - 1));
}

void WorkArea::readRecord(long recno)
{
    if (!m_exclusive && recno > long(m_count)) {
        // Another user of a shared table may have appended it (a shared
        // index leads to it); shared appends keep the header count current.
        uint8_t stored[4];
        if (m_file.readExact(4, stored, 4))
            m_count = std::max(m_count, getU32(stored));
    }
    readImage(recno, m_image.data());
    unpack(m_image.data(), m_buffer);
    m_recno = recno;
    m_bof = m_eof = false;
}

void WorkArea::setEof()
{
    clearRecord();
    m_recno = long(m_count) + 1;
    m_eof = true;
    m_bof = false;
    m_cursorSynced = false;
}

void WorkArea::setBlankBoth()
{
    clearRecord();
    m_recno = m_count == 0 ? 0 : long(m_count) + 1;
    m_bof = m_eof = true;
    m_cursorSynced = false;
}

EvalContext WorkArea::context(const uint8_t* buffer, long recno, const uint8_t* image) const
{
    EvalContext c;
    c.buffer = buffer;
    c.image = image;
    c.recno = recno;
    c.dates = &m_config.dates;
    c.report = m_config.softError;
    return c;
}

bool WorkArea::visible()
{
    if (m_config.hideDeleted && m_buffer[0] != 0)
        return false;
    if (m_while) {
        ExprValue value;
        m_while->evaluate(context(m_buffer, m_recno, m_image.data()), value);
        return value.logical;
    }
    return true;
}

// Another program may change a shared index at any moment, but only under
// the semaphore lock. Every move in a shared index therefore takes that lock,
// reads the header again (the root may have moved) and finds the cursor
// again from the current record, instead of trusting a path into nodes that
// may have been split or shifted since the last move.
template <typename F> auto WorkArea::walkIndex(NdxIndex& idx, F&& body)
{
    if (!idx.shared())
        return body();
    lockSemaphore();
    try {
        idx.refreshHeader();
        m_cursorSynced = false;
        auto result = body();
        unlockSemaphore();
        return result;
    } catch (...) {
        unlockSemaphore();
        throw;
    }
}

// The controlling index. Its slot can be empty when rebuilding it failed;
// positioning then reports that instead of following a missing index.
NdxIndex& WorkArea::orderIndex(const char* operation)
{
    NdxIndex* idx = index(m_order);
    if (!idx) {
        if (operation)
            fail(kIndexNotOpen, std::string("Index not open. [") + operation + "]");
        fail(kIndexNotOpen, "No primary index active. (DBF=" + m_alias + ")");
    }
    return *idx;
}

void WorkArea::syncCursor()
{
    NdxIndex* idx = &orderIndex(nullptr);
    if (m_cursorSynced && idx->positioned())
        return;
    std::vector<uint8_t> image(static_cast<size_t>(m_recordLength));
    std::vector<uint8_t> buffer(m_bufferSize);
    readImage(m_recno, image.data());
    unpack(image.data(), buffer.data());
    const std::string key = idx->keyOf(context(buffer.data(), m_recno, image.data()));
    if (!idx->locate(key, uint32_t(m_recno)))
        idx->seek(key);
    m_cursorSynced = true;
}

uint32_t WorkArea::nextInOrder()
{
    if (m_order == 0)
        return m_recno + 1 <= long(m_count) ? uint32_t(m_recno + 1) : 0;
    NdxIndex& idx = orderIndex("_FindNextRec");
    return walkIndex(idx, [&] {
        syncCursor();
        return idx.next();
    });
}

uint32_t WorkArea::prevInOrder()
{
    if (m_order == 0) {
        const long from = m_eof ? long(m_count) + 1 : m_recno;
        return from - 1 >= 1 ? uint32_t(from - 1) : 0;
    }
    NdxIndex& idx = orderIndex("_FindPriorRec");
    return walkIndex(idx, [&] {
        if (m_eof)
            return idx.last();
        syncCursor();
        return idx.prev();
    });
}

void WorkArea::goTop()
{
    if (m_count == 0)
        return setBlankBoth();
    uint32_t r = 1;
    if (m_order != 0) {
        NdxIndex& idx = orderIndex("_FindFirstRec");
        r = walkIndex(idx, [&] { return idx.first(); });
    }
    while (r != 0) {
        readRecord(long(r));
        m_cursorSynced = m_order != 0;
        if (visible())
            return;
        r = m_order == 0 ? (r < m_count ? r + 1 : 0) : nextInOrder();
    }
    setBlankBoth();
}

void WorkArea::goBottom()
{
    if (m_count == 0)
        return setBlankBoth();
    uint32_t r = m_count;
    if (m_order != 0) {
        NdxIndex& idx = orderIndex("_FindLastRec");
        r = walkIndex(idx, [&] { return idx.last(); });
    }
    while (r != 0) {
        readRecord(long(r));
        m_cursorSynced = m_order != 0;
        if (visible())
            return;
        r = m_order == 0 ? r - 1 : prevInOrder();
    }
    setBlankBoth();
}

void WorkArea::go(long recno)
{
    readRecord(recno);
    m_cursorSynced = false;
}

void WorkArea::skip(long count)
{
    if (count == 0) {
        if (m_eof || m_recno < 1 || m_recno > long(m_count))
            clearRecord();
        else
            readRecord(m_recno);
        return;
    }
    if (m_count == 0) {
        m_bof = m_eof = true;
        fail(kBeyondRange, "Database \"" + m_alias + "\" is empty. [SKIP]");
    }
    if (count > 0 && m_eof)
        fail(kBeyondRange, "Database \"" + m_alias + "\" is past EOF. [SKIP]");
    const bool forward = count > 0;
    for (long passed = 0; passed < std::labs(count);) {
        const uint32_t r = forward ? nextInOrder() : prevInOrder();
        if (r == 0) {
            if (forward) {
                setEof();
            } else {
                goTop();
                m_bof = true;
            }
            return;
        }
        readRecord(long(r));
        m_cursorSynced = m_order != 0;
        if (visible())
            ++passed;
    }
}

// --- writing ------------------------------------------------------------------------

void WorkArea::checkAppendLock() const
{
    if (!m_exclusive && m_lockState != LockState::File)
        fail(kAccessDenied, "File must be locked to append: " + m_alias + " [APPEND]");
}

void WorkArea::checkRecordLock(const char* operation) const
{
    if (!m_exclusive && !isLocked())
        fail(kRecordNotLocked, "Record not locked " + std::to_string(m_recno) + " in " + m_alias +
                                   " [" + operation + "]");
}

void WorkArea::append()
{
    dropReadAhead();
    checkAppendLock();
    ChangeGuard guard(*this, true);
    packBuffer(m_image.data());
    std::vector<uint8_t> transformed;
    const uint8_t* out = m_image.data();
    if (m_beforeWrite) {
        transformed = m_image;
        m_beforeWrite(transformed.data() + 1, transformed.size() - 1);
        out = transformed.data();
    }
    if (!m_exclusive) {
        // Another program may have appended since we last looked; under the
        // append lock the header count is the truth.
        uint8_t stored[4];
        if (m_file.readExact(4, stored, 4))
            m_count = std::max(m_count, getU32(stored));
    }
    const long recno = long(m_count) + 1;
    if (m_exclusive && !m_config.flushEveryWrite && m_config.batchAppends) {
        // Appended records of an exclusive table go out in batches.
        if (m_pendingRecords.empty())
            m_pendingFirst = recno;
        m_pendingRecords.insert(m_pendingRecords.end(), out, out + m_image.size());
        if (m_pendingRecords.size() >= kPendingBytes)
            writePendingRecords();
    } else if (!m_file.writeExact(recordOffset(recno), out, m_image.size())) {
        fail(kDiskWriteError, "Error writing " + m_path + " [APPEND]");
    }
    m_count = uint32_t(recno);
    m_recno = recno;
    m_change = ChangeState::Appended;
    unpack(m_image.data(), m_buffer);
    m_bof = m_eof = false;
    if (anyIndexOpen()) {
        lockSemaphore();
        for (int slot = 1; slot <= kMaxIndexes; ++slot) {
            if (NdxIndex* idx = index(slot)) {
                if (idx->shared())
                    idx->refreshHeader();
                insertKey(*idx, idx->keyOf(context(m_buffer, recno, m_image.data())),
                          uint32_t(recno));
                if (idx->shared())
                    idx->writeSharedHeader(long(m_count), base::toUpper(baseName(m_path)));
            }
        }
        unlockSemaphore();
    }
    m_cursorSynced = false;
    // Other users of a shared table learn the new count from the header.
    if (m_config.flushEveryWrite || !m_exclusive) {
        writeHeader(true);
        m_change = ChangeState::Clean;
        if (m_config.flushEveryWrite)
            m_file.flush();
    }
    reportOverflow("APPEND");
}

void WorkArea::insertKey(NdxIndex& idx, const std::string& key, uint32_t recno)
{
    try {
        idx.insert(key, recno);
    } catch (const std::bad_alloc&) {
        fail(kInsufficientMemory, "Not enough memory to add the key of record " +
                                      std::to_string(recno) + " to " + idx.path() +
                                      " [AppendIndex]");
    }
}

void WorkArea::replace()
{
    dropReadAhead();
    writePendingRecords();
    if (m_count == 0)
        fail(kBeyondRange, "Database \"" + m_alias + "\" is empty. [REPLACE]");
    if (m_eof)
        fail(kBeyondRange, "Database \"" + m_alias + "\" is at EOF. [REPLACE]");
    if (!m_buffer)
        fail(kInvalidParameter, "Swap-buffer NIL. [REPLACE]");
    checkRecordLock("REPLACE");
    ChangeGuard guard(*this, true);
    // The keys of the record as it stands on disk are the ones the indexes hold.
    std::array<std::string, kMaxIndexes> oldKeys;
    if (anyIndexOpen()) {
        std::vector<uint8_t> image(static_cast<size_t>(m_recordLength));
        std::vector<uint8_t> buffer(m_bufferSize);
        readImage(m_recno, image.data());
        unpack(image.data(), buffer.data());
        for (int slot = 1; slot <= kMaxIndexes; ++slot)
            if (NdxIndex* idx = index(slot))
                oldKeys[size_t(slot - 1)] =
                    idx->keyOf(context(buffer.data(), m_recno, image.data()));
    }
    packBuffer(m_image.data());
    std::vector<uint8_t> out(m_image);
    if (m_beforeWrite)
        m_beforeWrite(out.data() + 1, out.size() - 1);
    if (!m_file.writeExact(recordOffset(m_recno), out.data(), out.size()))
        fail(kDiskWriteError, "Error writing " + m_path + " [REPLACE]");
    if (m_change != ChangeState::Appended)
        m_change = ChangeState::Rewritten;
    unpack(m_image.data(), m_buffer);
    if (anyIndexOpen()) {
        lockSemaphore();
        for (int slot = 1; slot <= kMaxIndexes; ++slot) {
            NdxIndex* idx = index(slot);
            if (!idx)
                continue;
            const std::string newKey = idx->keyOf(context(m_buffer, m_recno, m_image.data()));
            const std::string& oldKey = oldKeys[size_t(slot - 1)];
            if (newKey == oldKey)
                continue;
            if (idx->shared())
                idx->refreshHeader();
            if (!idx->remove(oldKey, uint32_t(m_recno))) {
                unlockSemaphore();
                fail(kCorruptedIndex, "Record with key: " + oldKey + " not found in " +
                                          idx->path() + " [SoftSyncIndex]");
            }
            insertKey(*idx, newKey, uint32_t(m_recno));
            if (idx->shared())
                idx->writeSharedHeader(long(m_count), base::toUpper(baseName(m_path)));
        }
        unlockSemaphore();
    }
    m_cursorSynced = false;
    if (m_config.flushEveryWrite) {
        writeHeader(m_change == ChangeState::Appended);
        m_change = ChangeState::Clean;
        m_file.flush();
    }
    reportOverflow("REPLACE");
}

void WorkArea::setDeleted(bool deleted, const char* operation)
{
    if (m_eof || m_recno < 1 || m_recno > long(m_count))
        fail(kBeyondRange, "Database \"" + m_alias + "\" at EOF [" + operation + "]");
    checkRecordLock(operation);
    dropReadAhead();
    writePendingRecords();
    ChangeGuard guard(*this, true);
    const uint8_t mark = deleted ? kDeletedMark : kActiveMark;
    if (!m_file.writeExact(recordOffset(m_recno), &mark, 1))
        fail(kDiskWriteError, "Error writing " + m_path + " [" + operation + "]");
    m_image[0] = mark;
    m_buffer[0] = deleted ? 1 : 0;
    if (m_change != ChangeState::Appended)
        m_change = ChangeState::Rewritten;
}

void WorkArea::requireExclusive(const char* operation)
{
    m_reopenedExclusive = false;
    if (m_exclusive)
        return;
    PosixFile file;
    if (const int code = file.open(m_path, PosixFile::Sharing::Exclusive); code != 0) {
        m_file.open(m_path, PosixFile::Sharing::Shared);
        fail(kExclusiveRequired, std::string("Exclusive Use() required [") + operation + "]");
    }
    // Our own shared handle must go first, or the exclusive lock cannot be had.
    m_file.close();
    file.close();
    if (const int code = m_file.open(m_path, PosixFile::Sharing::Exclusive); code != 0) {
        m_file.open(m_path, PosixFile::Sharing::Shared);
        fail(kExclusiveRequired, std::string("Exclusive Use() required [") + operation + "]");
    }
    m_reopenedExclusive = true;
}

void WorkArea::restoreSharing()
{
    if (!m_reopenedExclusive)
        return;
    m_reopenedExclusive = false;
    if (m_file.open(m_path, PosixFile::Sharing::Shared) != 0)
        fail(kSharingViolation, "Cannot re-open database sharable. " + m_path);
}

// Zap goes the same safe way as a pack that keeps no record: a new empty
// table and memo file are committed together.
void WorkArea::zap()
{
    dropReadAhead();
    writePendingRecords();
    if (m_hasMemo && !m_memo.isOpen())
        fail(kInvalidParameter, "Memo file is not open [ZAP]");
    requireExclusive("ZAP");
    ChangeGuard guard(*this, true);
    replaceByCopy(Keep::None);
}

// Pack writes the packed table and memo file beside the old ones, then
// commits them with a small intent file and two renames (see
// docs/formats/pack.md). Whatever moment the process dies, the next open
// finds the old pair or the new one, never a mixture.
void WorkArea::pack()
{
    dropReadAhead();
    writePendingRecords();
    if (m_count == 0)
        return;
    requireExclusive("PACK");
    if (!anyDeleted()) {
        // Nothing to remove; a header left stale by a crash is still mended.
        if (getU32(m_header + 4) != m_count) {
            ChangeGuard guard(*this, true);
            writeHeader(true);
            m_file.flush();
            m_change = ChangeState::Clean;
        }
        restoreSharing();
        return;
    }
    ChangeGuard guard(*this, true);
    replaceByCopy(Keep::Live);
}

void WorkArea::replaceByCopy(Keep keep)
{
    const PackFiles files = packFiles();
    // A leftover intent file must be gone before new temporary files exist,
    // or a crash now could make recovery take the half-written copies.
    if (!removeFile(files.intent) || !removeFile(files.table) ||
        (!files.memo.empty() && !removeFile(files.memo)))
        fail(kDiskWriteError, "Cannot remove old pack files of " + m_path + " [PACK]");
    uint32_t kept = 0;
    try {
        kept = writePackedCopy(files, keep);
        commitPack(files);
    } catch (...) {
        removeFile(files.table);
        if (!files.memo.empty())
            removeFile(files.memo);
        throw;
    }
    finishPack(files, kept, keep);
}

bool WorkArea::anyDeleted() const
{
    const size_t perChunk = std::max<size_t>(1, kBulkBytes / size_t(m_recordLength));
    std::vector<uint8_t> chunk = bulkBuffer(perChunk * size_t(m_recordLength), "PACK");
    for (uint32_t start = 1; start <= m_count; start += uint32_t(perChunk)) {
        const uint32_t n = std::min<uint32_t>(uint32_t(perChunk), m_count - start + 1);
        if (!m_file.readExact(recordOffset(start), chunk.data(),
                              size_t(n) * size_t(m_recordLength)))
            fail(kUnexpectedEof, "Unexpected end of " + m_path + " [PACK]");
        for (uint32_t i = 0; i < n; ++i)
            if (chunk[size_t(i) * size_t(m_recordLength)] == kDeletedMark)
                return true;
    }
    return false;
}

WorkArea::PackFiles WorkArea::packFiles() const
{
    PackFiles files;
    files.table = withExtension(m_path, ".$$d");
    files.intent = withExtension(m_path, ".$$p");
    if (m_hasMemo && m_memo.isOpen()) {
        files.memoTarget = m_memo.path();
        files.memo = withExtension(files.memoTarget, ".$$$");
    }
    return files;
}

// Writes the kept records, each with copies of its memos, into the
// temporary pair and syncs both. Returns the number of records kept.
uint32_t WorkArea::writePackedCopy(const PackFiles& files, Keep keep)
{
    std::vector<uint8_t> header(static_cast<size_t>(m_headerLength), 0);
    if (!m_file.readExact(0, header.data(), header.size()))
        fail(kDiskReadError, "Error reading " + m_path + " [PACK]");
    PosixFile out;
    if (const int code = out.create(files.table); code != 0)
        fail(code, "Cannot create " + files.table + " [PACK]");
    MemoFile copy;
    std::vector<const FieldInfo*> memoFields;
    if (!files.memo.empty()) {
        checkMemoPackSpace();
        MemoFile::create(files.memo, m_memo.style(),
                         base::toUpper(withExtension(baseName(m_path), "")));
        if (copy.open(files.memo, PosixFile::Sharing::Exclusive) != 0)
            fail(kMemoWriteError, "Memo file write error " + files.memo + " [PackMemoFile]");
        copy.setStyle(m_memo.style());
        copy.beginBulk();
        for (const FieldInfo& f : m_fields)
            if (f.type == 'M')
                memoFields.push_back(&f);
    }
    MemoFile::ReadWindow window;
    const size_t perChunk = std::max<size_t>(1, kBulkBytes / size_t(m_recordLength));
    std::vector<uint8_t> chunk = bulkBuffer(perChunk * size_t(m_recordLength), "PACK");
    uint32_t kept = 0;
    uint64_t outPos = header.size();
    const uint32_t last = keep == Keep::None ? 0 : m_count;
    for (uint32_t start = 1; start <= last; start += uint32_t(perChunk)) {
        const uint32_t n = std::min<uint32_t>(uint32_t(perChunk), m_count - start + 1);
        if (!m_file.readExact(recordOffset(start), chunk.data(),
                              size_t(n) * size_t(m_recordLength)))
            fail(kUnexpectedEof, "Unexpected end of " + m_path + " [PACK]");
        size_t used = 0;
        for (uint32_t i = 0; i < n; ++i) {
            uint8_t* rec = chunk.data() + size_t(i) * size_t(m_recordLength);
            if (rec[0] == kDeletedMark)
                continue;
            for (const FieldInfo* f : memoFields)
                copyMemoField(*f, rec, start + i, copy, window);
            if (used != size_t(i) * size_t(m_recordLength))
                std::memmove(chunk.data() + used, rec, size_t(m_recordLength));
            used += size_t(m_recordLength);
            ++kept;
        }
        if (used > 0 && !out.writeExact(outPos, chunk.data(), used))
            fail(kDiskWriteError, "Error writing " + files.table + " [PACK]");
        outPos += used;
    }
    const CalendarDate today = m_config.dates.today();
    header[1] = uint8_t(today.year - 1900);
    header[2] = uint8_t(today.month);
    header[3] = uint8_t(today.day);
    putU32(&header[4], kept);
    const uint8_t marker = kEndOfFile;
    if (!out.writeExact(outPos, &marker, 1) || !out.writeExact(0, header.data(), header.size()) ||
        !out.flush())
        fail(kDiskWriteError, "Error writing " + files.table + " [PACK]");
    if (!files.memo.empty()) {
        copy.finishBulk();
        if (!copy.sync())
            fail(kMemoWriteError, "Memo file write error " + files.memo + " [PackMemoFile]");
        copy.close();
    }
    return kept;
}

// Copies the memo a kept record points at and points the record at the copy.
void WorkArea::copyMemoField(const FieldInfo& f, uint8_t* rec, uint32_t recno, MemoFile& copy,
                             MemoFile::ReadWindow& window)
{
    char* text = reinterpret_cast<char*>(rec + f.offset);
    const long block =
        std::strtol(base::trimmedSpaces(std::string(text, size_t(f.length))).c_str(), nullptr, 10);
    if (block < 0)
        return; // a binary memo keeps its number
    std::string moved(size_t(f.length), ' ');
    if (block > 0) {
        const int32_t to = copy.writeRaw(m_memo.readRaw(int32_t(block), long(recno), &window));
        if (to != 0)
            moved = formatInteger(to, f.length);
    }
    std::memcpy(text, moved.data(), moved.size());
}

void WorkArea::checkMemoPackSpace() const
{
    FileStamp stamp;
    const uint64_t memoSize = stampOf(m_memo.path(), stamp) ? stamp.size : 0;
    if (freeDiskSpace(directoryOf(m_memo.path())) / 1024 < memoSize / 1024)
        fail(kMemoPackSpace,
             "Insufficient disk space to pack memo file " + m_memo.path() + " [PackMemoFile]");
}

// The commit point is the intent file: once it is complete on disk the pack
// counts as done, and an open finishes the renames if the process died.
void WorkArea::commitPack(const PackFiles& files)
{
    std::string intent = std::string(kPackIntentMagic) + "\n";
    auto entry = [&](const std::string& from, const std::string& to) {
        FileStamp stamp;
        if (!stampOf(from, stamp))
            fail(kDiskWriteError, "Cannot find " + from + " [PACK]");
        intent +=
            "move " + std::to_string(stamp.size) + " " + baseName(from) + "/" + baseName(to) + "\n";
    };
    entry(files.table, m_path);
    if (!files.memo.empty())
        entry(files.memo, files.memoTarget);
    intent += "end\n";
    PosixFile file;
    if (file.create(files.intent) != 0 || !file.writeExact(0, intent.data(), intent.size()) ||
        !file.flush() || !syncDirectoryOf(files.intent)) {
        file.close();
        removeFile(files.intent);
        fail(kDiskWriteError, "Cannot write " + files.intent + " [PACK]");
    }
}

void WorkArea::finishPack(const PackFiles& files, uint32_t kept, Keep keep)
{
    // From here on the pack is committed: a failure leaves it to the next open.
    const bool moved = renameFile(files.table, m_path) &&
                       (files.memo.empty() || renameFile(files.memo, files.memoTarget)) &&
                       syncDirectoryOf(m_path);
    if (!moved) {
        // The old files must not take changes any more: the next open puts
        // the packed pair in place and would drop them. So the table is
        // closed here without writing anything.
        for (auto& idx : m_indexes)
            idx.reset();
        m_memo.close();
        m_file.close();
        m_change = ChangeState::Closed;
        m_changeFailed = true;
        fail(kDiskWriteError, "Cannot put the packed files of " + m_path +
                                  " in place; the table is closed and its next open finishes "
                                  "the pack [PACK]");
    }
    removeFile(files.intent);
    PosixFile packed;
    if (const int code = packed.open(m_path, PosixFile::Sharing::Exclusive); code != 0)
        fail(code, "Cannot open " + m_path + " after packing [PACK]");
    m_file = std::move(packed);
    m_reopenedExclusive = m_reopenedExclusive || !m_exclusive;
    m_count = kept;
    putU32(m_header + 4, kept);
    m_change = ChangeState::Clean;
    if (!files.memo.empty()) {
        m_memo.close();
        if (m_memo.open(files.memoTarget, m_exclusive ? PosixFile::Sharing::Exclusive
                                                      : PosixFile::Sharing::Shared) != 0)
            fail(kFileNotFound, "Memo file not found: " + files.memoTarget + " [PackMemoFile]");
        configureMemo();
    }
    for (int slot = 1; slot <= kMaxIndexes; ++slot) {
        if (NdxIndex* idx = index(slot)) {
            if (keep == Keep::None)
                idx->reset();
            else
                rebuildIndex(slot);
        }
    }
    restoreSharing();
    if (m_count == 0)
        setBlankBoth();
    else
        go(1);
}

// Finishes or undoes a pack that a crash interrupted: with a complete
// intent file the renames it names are done (those not yet done); without
// one, temporary files of an unfinished pack are removed.
void WorkArea::recoverPack(const std::string& tablePath)
{
    const std::string intentPath = withExtension(tablePath, ".$$p");
    const std::string tableCopy = withExtension(tablePath, ".$$d");
    if (!fileExists(intentPath)) {
        if (fileExists(tableCopy))
            removeFile(tableCopy);
        for (const char* memoExt : {".dbt", ".DBT"})
            if (const std::string m = withExtension(withExtension(tablePath, memoExt), ".$$$");
                fileExists(m))
                removeFile(m);
        return;
    }
    PosixFile file;
    std::string text;
    if (file.open(intentPath, PosixFile::Sharing::Unguarded) == 0) {
        text.resize(size_t(std::min<uint64_t>(file.size(), 4096)));
        text.resize(file.readAt(0, text.data(), text.size()));
        file.close();
    }
    const std::string dir = directoryOf(tablePath) + "/";
    struct Move {
        std::string from, to;
        uint64_t size;
    };
    std::vector<Move> moves;
    bool complete = false;
    size_t pos = 0;
    for (size_t line = 0; pos < text.size(); ++line) {
        const size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            break;
        const std::string row = text.substr(pos, end - pos);
        pos = end + 1;
        if (line == 0) {
            if (row != kPackIntentMagic)
                break;
            continue;
        }
        if (row == "end") {
            complete = true;
            break;
        }
        unsigned long long size = 0;
        char names[1024] = {};
        if (std::sscanf(row.c_str(), "move %llu %1023[^\n]", &size, names) != 2)
            break;
        const std::string both = names;
        const size_t slash = both.find('/');
        if (slash == std::string::npos)
            break;
        moves.push_back({dir + both.substr(0, slash), dir + both.substr(slash + 1), size});
    }
    if (complete) {
        for (const Move& m : moves) {
            FileStamp stamp;
            if (stampOf(m.from, stamp) && stamp.size == m.size && !renameFile(m.from, m.to))
                fail(kDiskWriteError, "Cannot finish the pack of " + tablePath + " [USE/OpenDBF]");
        }
        syncDirectoryOf(tablePath);
    } else {
        for (const Move& m : moves)
            removeFile(m.from);
        removeFile(tableCopy);
    }
    removeFile(intentPath);
}

// --- locks ----------------------------------------------------------------------------

bool WorkArea::retryLock(const std::function<bool()>& attempt) const
{
    for (;;) {
        for (int i = 0; i < std::max(1, m_config.lockRetries); ++i)
            if (attempt())
                return true;
        if (!m_config.onLockRetry || !m_config.onLockRetry())
            return false;
    }
}

void WorkArea::lockFile()
{
    if (m_exclusive) {
        m_lockState = LockState::File;
        return;
    }
    if (m_lockState == LockState::File)
        return;
    if (!retryLock([&] { return m_file.lockRange(m_config.lockBase + 1, 1); }))
        fail(kLockViolation, "File " + m_path + " could not be locked [ALock]");
    m_lockState = LockState::File;
}

void WorkArea::lockRecord()
{
    if (m_eof || m_recno < 1)
        fail(kBeyondRange, "Database \"" + m_alias + "\" at EOF [RLock]");
    if (m_exclusive || m_lockedRecords.count(m_recno)) {
        m_lockedRecords.insert(m_recno);
        if (m_lockState == LockState::None)
            m_lockState = LockState::Records;
        return;
    }
    const uint64_t offset = m_config.lockBase + recordOffset(m_recno);
    if (!retryLock([&] { return m_file.lockRange(offset, uint64_t(m_recordLength)); }))
        fail(kLockViolation, "Record " + std::to_string(m_recno) + " of " + m_path +
                                 " could not be locked [RLock]");
    m_lockedRecords.insert(m_recno);
    if (m_lockState == LockState::None)
        m_lockState = LockState::Records;
}

void WorkArea::unlockRecord()
{
    if (!m_lockedRecords.erase(m_recno))
        return;
    if (!m_exclusive)
        m_file.unlockRange(m_config.lockBase + recordOffset(m_recno), uint64_t(m_recordLength));
    if (m_lockedRecords.empty() && m_lockState == LockState::Records)
        m_lockState = LockState::None;
}

void WorkArea::unlockAll()
{
    if (!m_exclusive && m_file.isOpen()) {
        for (long r : m_lockedRecords)
            m_file.unlockRange(m_config.lockBase + recordOffset(r), uint64_t(m_recordLength));
        if (m_lockState == LockState::File)
            m_file.unlockRange(m_config.lockBase + 1, 1);
    }
    m_lockedRecords.clear();
    m_lockState = LockState::None;
}

bool WorkArea::isLocked() const
{
    return m_exclusive || m_lockState == LockState::File || m_lockedRecords.count(m_recno) != 0;
}

// --- semaphore file for shared index updates -------------------------------------------

void WorkArea::lockSemaphore()
{
    if (m_exclusive)
        return;
    if (!m_semaphore.isOpen()) {
        std::string path = withExtension(m_path, ".@S@");
        if (!m_config.semaphoreDirectory.empty())
            path = m_config.semaphoreDirectory + "/" + baseName(path);
        if (m_semaphore.open(path, PosixFile::Sharing::Unguarded) != 0 &&
            m_semaphore.create(path) != 0)
            fail(kSemaphoreError, "Cannot open index semaphore file: " + path);
    }
    const auto deadline = std::chrono::steady_clock::now() + kSemaphoreTimeout;
    while (!m_semaphore.lockRange(0, 1)) {
        if (std::chrono::steady_clock::now() >= deadline)
            fail(kSemaphoreError,
                 "10 second timeout: Cannot lock index semaphore file: " + m_semaphore.path() +
                     " Lock result code: " + std::to_string(kLockViolation));
        std::this_thread::sleep_for(kSemaphorePause);
    }
}

void WorkArea::unlockSemaphore()
{
    if (!m_exclusive && m_semaphore.isOpen())
        m_semaphore.unlockRange(0, 1);
}

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

    // The type, and the length of a text key, come from the key of the first
    // record (or of a blank record).
    std::vector<uint8_t> image(static_cast<size_t>(m_recordLength), uint8_t(' '));
    std::vector<uint8_t> buffer(m_bufferSize);
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
    if (byKeyMaker)
        value = keyMaker(KeyRecord(m_fields, image.data(), 1));
    else
        compiled->evaluate(context(buffer.data(), 1, m_count > 0 ? image.data() : nullptr), value);
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
