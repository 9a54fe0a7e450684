// qvdbf: creates, fills, dumps, indexes, packs and checks dBASE tables from the
// command line. Texts on the command line and in the output are UTF-8; inside
// the table they are Windows-1252.

#include "base/ascii.h"
#include "dbf/dbf_engine.h"
#include "dbf/table_check.h"
#include "platform/ansi.h"

#include <QString>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr int kUsageError = 2;
constexpr int kCheckFailed = 1;

const char* const kUsage = "usage: qvdbf create TABLE.dbf NAME,TYPE,LENGTH,DECIMALS...\n"
                           "       qvdbf append TABLE.dbf NAME=VALUE...\n"
                           "       qvdbf dump TABLE.dbf [--index FILE.ndx]\n"
                           "       qvdbf index TABLE.dbf FILE.ndx EXPRESSION [UNIQUE]\n"
                           "       qvdbf keys TABLE.dbf FILE.ndx\n"
                           "       qvdbf delete TABLE.dbf RECNO\n"
                           "       qvdbf pack TABLE.dbf\n"
                           "       qvdbf zap TABLE.dbf\n"
                           "       qvdbf check TABLE.dbf [FILE.ndx...]\n";

struct UsageError {
    std::string message;
};

std::string toAnsi(const char* utf8)
{
    return platform::toAnsi(QString::fromUtf8(utf8));
}

std::string toUtf8(const std::string& ansi)
{
    return platform::fromAnsi(ansi).toUtf8().toStdString();
}

std::string jsonString(const std::string& ansi)
{
    const std::string text = toUtf8(ansi);
    std::string out = "\"";
    for (unsigned char ch : text) {
        switch (ch) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (ch < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", ch);
                out += buf;
            } else {
                out += char(ch);
            }
        }
    }
    return out + "\"";
}

std::string numberJson(double value, int decimals)
{
    if (!std::isfinite(value))
        return "null";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    return buf;
}

void openTable(dbf::DbfEngine& engine, const std::string& table)
{
    engine.Use(table + " EXCLUSIVE");
}

int create(dbf::DbfEngine& engine, const std::vector<std::string>& args)
{
    if (args.size() < 2)
        throw UsageError{"create needs a table and at least one field"};
    std::vector<dbf::FieldDef> fields;
    for (size_t i = 1; i < args.size(); ++i) {
        std::vector<std::string> parts;
        size_t start = 0;
        for (;;) {
            const size_t comma = args[i].find(',', start);
            parts.push_back(args[i].substr(start, comma - start));
            if (comma == std::string::npos)
                break;
            start = comma + 1;
        }
        if (parts.size() != 4 || parts[1].empty())
            throw UsageError{"field \"" + args[i] + "\" is not name,type,length,decimals"};
        try {
            fields.push_back({parts[0], parts[1][0], std::stoi(parts[2]), std::stoi(parts[3])});
        } catch (const std::exception&) {
            throw UsageError{"field \"" + args[i] + "\" has a bad length or decimals"};
        }
    }
    engine.CreateDBF(args[0], fields);
    return 0;
}

int append(dbf::DbfEngine& engine, const std::vector<std::string>& args)
{
    if (args.empty())
        throw UsageError{"append needs a table"};
    openTable(engine, args[0]);
    engine.ClearRecord();
    for (size_t i = 1; i < args.size(); ++i) {
        const size_t eq = args[i].find('=');
        if (eq == std::string::npos)
            throw UsageError{"\"" + args[i] + "\" is not NAME=VALUE"};
        const std::string name = args[i].substr(0, eq);
        const std::string value = args[i].substr(eq + 1);
        const int field = engine.FieldNo(name);
        if (field == 0)
            throw UsageError{"no field \"" + name + "\""};
        switch (engine.FieldType(field)) {
        case 'M': {
            // "\n" on the command line is a line break (CR LF) in the memo;
            // the rest is stored byte for byte. The engine refuses a text
            // holding 0x1A (it would end the memo there) before anything is
            // appended.
            std::string text;
            size_t start = 0;
            for (;;) {
                const size_t brk = value.find("\\n", start);
                text += value.substr(start, brk - start);
                if (brk == std::string::npos)
                    break;
                text += "\r\n";
                start = brk + 2;
            }
            engine.SetMemoFieldBytes(field, text);
            break;
        }
        case 'L':
            engine.SetFieldLogical(field, !value.empty() && std::strchr("TtYy", value[0]));
            break;
        case 'D': {
            const dbf::CalendarDate date = dbf::parseDtos(value);
            if (!value.empty() && !date.valid())
                throw UsageError{"date \"" + value + "\" is not YYYYMMDD"};
            engine.SetFieldText(field, dbf::formatDate(date, engine.dateStyle(), engine.century()));
            break;
        }
        case 'N':
        case 'F':
            // Through the text, so that long whole numbers stay exact.
            engine.SetFieldText(field, value);
            break;
        default:
            engine.SetFieldText(field, value);
            break;
        }
    }
    engine.Append();
    engine.CloseDbf();
    return 0;
}

std::string recordJson(dbf::DbfEngine& engine)
{
    std::string out = "{\"recno\":" + std::to_string(engine.RecNo()) +
                      ",\"deleted\":" + (engine.Deleted() ? "true" : "false");
    const int count = engine.FieldCount();
    for (int i = 1; i <= count; ++i) {
        out += "," + jsonString(base::toLower(engine.Field(i))) + ":";
        const std::string raw = engine.RawFieldText(i);
        switch (engine.FieldType(i)) {
        case 'N':
        case 'F': {
            const std::string text = base::trimmedSpaces(raw);
            char* end = nullptr;
            const double value = std::strtod(text.c_str(), &end);
            const bool whole = !text.empty() && engine.FieldDec(i) == 0 &&
                               text.find_first_not_of("-0123456789") == std::string::npos;
            out += text.empty() || *end != '\0' ? "null"
                   : whole                      ? text
                                                : numberJson(value, engine.FieldDec(i));
            break;
        }
        case 'L':
            out += engine.FieldLogical(i) ? "true" : "false";
            break;
        case 'D':
            out += jsonString(base::trimmedRightSpaces(raw));
            break;
        case 'M': {
            std::string text;
            engine.GetMemoFieldBytes(i, text);
            out += jsonString(text);
            break;
        }
        default:
            out += jsonString(base::trimmedRightSpaces(raw));
        }
    }
    return out + "}";
}

int dump(dbf::DbfEngine& engine, const std::vector<std::string>& args)
{
    if (args.empty() || (args.size() != 1 && args.size() != 3) ||
        (args.size() == 3 && args[1] != "--index"))
        throw UsageError{"dump needs a table and optionally --index FILE"};
    openTable(engine, args[0]);
    if (args.size() == 3)
        engine.SetIndexTo(args[2]);
    engine.GoTop();
    while (!engine.Eof()) {
        std::cout << recordJson(engine) << '\n';
        engine.Skip(1);
    }
    engine.CloseDbf();
    return 0;
}

int index(dbf::DbfEngine& engine, const std::vector<std::string>& args)
{
    if (args.size() < 3 || args.size() > 4 || (args.size() == 4 && args[3] != "UNIQUE"))
        throw UsageError{"index needs a table, an index file and an expression"};
    openTable(engine, args[0]);
    engine.MakeIndex(args[2], args[1] + (args.size() == 4 ? " UNIQUE" : ""));
    engine.CloseDbf();
    return 0;
}

int keys(dbf::DbfEngine& engine, const std::vector<std::string>& args)
{
    if (args.size() != 2)
        throw UsageError{"keys needs a table and an index file"};
    openTable(engine, args[0]);
    engine.SetIndexTo(args[1]);
    dbf::IndexInfoResult info;
    engine.IndexInfo(args[1], info);
    engine.GoTop();
    while (!engine.Eof()) {
        const std::string key = engine.CurrentKey();
        std::string shown;
        if (info.keyType == 'C') {
            shown = jsonString(key);
        } else {
            double value = 0;
            std::memcpy(&value, key.data(), std::min<size_t>(8, key.size()));
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.17g", value);
            shown = buf;
        }
        std::cout << "{\"recno\":" << engine.RecNo() << ",\"key\":" << shown << "}\n";
        engine.Skip(1);
    }
    engine.CloseDbf();
    return 0;
}

int deleteRecord(dbf::DbfEngine& engine, const std::vector<std::string>& args)
{
    if (args.size() != 2)
        throw UsageError{"delete needs a table and a record number"};
    long recno = 0;
    try {
        recno = std::stol(args[1]);
    } catch (const std::exception&) {
        throw UsageError{"\"" + args[1] + "\" is not a record number"};
    }
    openTable(engine, args[0]);
    engine.Go(recno);
    engine.DeleteRec();
    engine.CloseDbf();
    return 0;
}

int simple(dbf::DbfEngine& engine, const std::vector<std::string>& args,
           bool (dbf::DbfEngine::*op)())
{
    if (args.size() != 1)
        throw UsageError{"this command needs exactly one table"};
    openTable(engine, args[0]);
    (engine.*op)();
    engine.CloseDbf();
    return 0;
}

int check(const std::vector<std::string>& args)
{
    if (args.empty())
        throw UsageError{"check needs a table"};
    const std::string error = dbf::checkTable(args[0], {args.begin() + 1, args.end()});
    if (!error.empty()) {
        std::cerr << toUtf8(error) << '\n';
        return kCheckFailed;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << kUsage;
        return kUsageError;
    }
    const std::string command = argv[1];
    std::vector<std::string> args;
    for (int i = 2; i < argc; ++i)
        args.push_back(toAnsi(argv[i]));

    dbf::DbfEngine& engine = dbf::DbfEngine::global();
    engine.setExceptions(true);
    engine.setCentury(true);
    // Records are counted from the file size, as the program does: after a
    // crash the header may hold an old count, and trusting it would lose or
    // overwrite the records past it.
    engine.setAutoFixRecCount(true);
    if (!dbf::fault::setFromEnvironment()) {
        std::cerr << "qvdbf: QUORVANE_FAULT is not KIND:N:ACTION\n";
        return kUsageError;
    }
    try {
        if (command == "create")
            return create(engine, args);
        if (command == "append")
            return append(engine, args);
        if (command == "dump")
            return dump(engine, args);
        if (command == "index")
            return index(engine, args);
        if (command == "keys")
            return keys(engine, args);
        if (command == "delete")
            return deleteRecord(engine, args);
        if (command == "pack")
            return simple(engine, args, &dbf::DbfEngine::Pack);
        if (command == "zap")
            return simple(engine, args, &dbf::DbfEngine::Zap);
        if (command == "check")
            return check(args);
        std::cerr << "qvdbf: unknown command \"" << command << "\"\n" << kUsage;
        return kUsageError;
    } catch (const UsageError& e) {
        std::cerr << "qvdbf: " << toUtf8(e.message) << '\n' << kUsage;
        return kUsageError;
    } catch (const dbf::EDbfError& e) {
        std::cerr << "Error # " << e.code() << " (" << dbf::errorDescription(e.code()) << ")\n"
                  << toUtf8(e.detail()) << '\n';
        return e.code();
    }
}
