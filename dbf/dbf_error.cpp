#include "dbf/dbf_error.h"

#include <map>

namespace dbf {

namespace {

// Operating system codes 1 to 36 and 50 to 60 keep the descriptions that
// file, device and network errors have always had in this engine's family.
const std::map<int, const char*>& descriptions()
{
    static const std::map<int, const char*> table = {
        {1, "Invalid function number"},
        {2, "File not found"},
        {3, "Path not found"},
        {4, "Too many open files"},
        {5, "File access denied"},
        {6, "Invalid file handle"},
        {7, "Memory control blocks destroyed"},
        {8, "Insufficient memory"},
        {9, "Invalid memory block address"},
        {10, "Invalid environment"},
        {11, "Invalid format"},
        {12, "Invalid file access code"},
        {13, "Invalid data"},
        {15, "Invalid drive number"},
        {16, "Cannot remove current directory"},
        {17, "Cannot rename across drives"},
        {18, "No more files"},
        {19, "Disk is write-protected"},
        {20, "Unknown unit"},
        {21, "Drive not ready"},
        {22, "Unknown command"},
        {23, "CRC error in data"},
        {24, "Bad drive request structure length"},
        {25, "Disk seek error"},
        {26, "Unknown media type"},
        {27, "Sector not found"},
        {28, "Printer out of paper"},
        {29, "Device write fault"},
        {30, "Device read fault"},
        {31, "Hardware failure"},
        {32, "Sharing violation"},
        {33, "Lock violation"},
        {34, "Invalid disk change"},
        {35, "FCB unavailable"},
        {36, "Sharing buffer overflow"},
        {50, "Network request not supported"},
        {51, "Remote computer not listening"},
        {52, "Duplicate name on network"},
        {53, "Network name not found"},
        {54, "Network busy"},
        {55, "Network device no longer exists"},
        {56, "NetBIOS command limit exceeded"},
        {57, "Network adapter hardware error"},
        {58, "Incorrect response from network"},
        {59, "Unexpected network error"},
        {60, "Incompatible remote adapter"},
        {100, "Disk read error"},
        {101, "Disk write error (probable cause: Disk Full)."},
        {102, "File not assigned"},
        {103, "File not open"},
        {104, "File not open for input"},
        {105, "File not open for output"},
        {106, "Invalid numeric format"},
        {200, "Division by zero error"},
        {201, "Range check error"},
        {202, "Stack overflow error"},
        {203, "Heap overflow error"},
        {204, "Invalid pointer operation"},
        {205, "Floating point overflow"},
        {206, "Floating point underflow"},
        {207, "Invalid floating point operation"},
        {210, "Not a dBASE data file"},
        {211, "Invalid database field type encountered"},
        {212, "Request beyond range"},
        {213, "End of file found unexpectedly"},
        {214, "File already in use"},
        {215, "No database in use"},
        {217, "Insufficient memory"},
        {218, "Invalid pointer specified"},
        {219, "Cannot duplicate file handle"},
        {220, "Invalid parameter"},
        {221, "Index file not open"},
        {222, "Corrupted index file"},
        {223, "Index version mismatch"},
        {224, "Cyclical relationship detected"},
        {225, "Exclusive Use() required"},
        {227, "Insufficient disk space "},
        {228, "Unbalanced Push/Pop operation "},
        {229, "dBASE IV memo files not supported"},
        {266, "Invalid size"},
        {1003, "Invalid memo address"},
        {1004, "Disk full"},
        {1005, "Memo file write error"},
        {1006, "Memo text holds the end-of-memo byte"},
        {1007, "Memo file is already open"},
        {1012, "Insufficient disk space to pack memo file"},
        {1017, "Cannot lock memo file"},
        {1018, "Cannot unlock memo file"},
        {1019, "Invalid memo operation: database not open or no memo field in database"},
        {1103, "Invalid Operation "},
        {1200, "Record not locked"},
        {1201, "File not locked"},
        {1202, "Semaphore file error. Possible solutions: log into network or load SHARE.EXE "
               "before running Windows"},
        {1300, "File format not supported"},
    };
    return table;
}

} // namespace

std::string errorDescription(int code)
{
    const auto& table = descriptions();
    if (auto it = table.find(code); it != table.end())
        return it->second;
    if (code >= 1203 && code <= 1299)
        return "Network Error";
    return "Undefined error";
}

std::string errorText(int code, const std::string& message)
{
    return "Error # " + std::to_string(code) + " (" + errorDescription(code) + ")\r\n" + message;
}

} // namespace dbf
