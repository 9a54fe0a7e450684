#pragma once

#include "dbf/date_text.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace dbf {

// One field of an open table: its descriptor and where its value lives in
// the file record and in the typed record buffer.
struct FieldInfo {
    std::string name; // upper case, as stored
    char type = 'C';
    int length = 0;
    int decimals = 0;
    int offset = 0; // in the file record; the deletion flag is byte 0
    int slot = 0;   // in the record buffer; the deleted flag is byte 0
    int slotSize = 0;

    // Numbers with decimals travel as a 6-byte real, others as a 32-bit
    // integer; a field of more than nine digits could hold numbers beyond
    // 32 bits, so it gets a 64-bit slot instead.
    bool isReal() const { return (type == 'N' || type == 'F') && decimals > 0; }
    bool isWideInteger() const { return isNumeric() && decimals == 0 && length > 9; }
    bool isNumeric() const { return type == 'N' || type == 'F'; }
};

using FieldList = std::vector<FieldInfo>;

// The date settings and services that expression evaluation and record
// packing share with the engine.
struct DateSettings {
    int style = 0;
    bool fourDigitYear = false;
    int century = 20; // given to two-digit years when a date is packed
    Clock today = systemToday;
};

} // namespace dbf
