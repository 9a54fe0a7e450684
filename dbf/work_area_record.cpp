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

} // namespace

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

} // namespace dbf
