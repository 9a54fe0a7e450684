#include "dbf/clean_marker.h"

#include "dbf/posix_file.h"

#include <algorithm>
#include <sstream>

namespace dbf {

namespace {

const char* const kMagic = "quorvane-clean 1";
const char* const kEnd = "end";

struct Entry {
    FileStamp stamp;
    std::string name;
};

std::string stampLine(const FileStamp& s, const std::string& name)
{
    return "file " + std::to_string(s.size) + " " + std::to_string(s.mtimeNs) + " " +
           std::to_string(s.ctimeNs) + " " + std::to_string(s.device) + " " +
           std::to_string(s.inode) + " " + name + "\n";
}

// The entries of a complete marker (table first); empty when the marker is
// missing, torn or not ours.
std::vector<Entry> readEntries(const std::string& table)
{
    PosixFile file;
    if (file.open(CleanMarker::pathFor(table), PosixFile::Sharing::Unguarded) != 0)
        return {};
    constexpr uint64_t kMaxMarker = 65536;
    const uint64_t size = file.size();
    if (size == 0 || size > kMaxMarker)
        return {};
    std::string text(size_t(size), '\0');
    if (!file.readExact(0, text.data(), text.size()))
        return {};
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kMagic)
        return {};
    std::vector<Entry> entries;
    while (std::getline(in, line)) {
        if (line == kEnd)
            return entries.empty() ? std::vector<Entry>{} : entries;
        std::istringstream fields(line);
        std::string word;
        Entry e;
        if (!(fields >> word) || word != "file" ||
            !(fields >> e.stamp.size >> e.stamp.mtimeNs >> e.stamp.ctimeNs >> e.stamp.device >>
              e.stamp.inode))
            return {};
        fields.get();
        std::getline(fields, e.name);
        if (e.name.empty())
            return {};
        entries.push_back(e);
    }
    return {}; // no end line: the marker was cut short
}

bool matches(const Entry& e, const std::string& path)
{
    FileStamp now;
    return stampOf(path, now) && now == e.stamp;
}

} // namespace

std::string CleanMarker::pathFor(const std::string& table)
{
    return table + ".clean";
}

bool CleanMarker::write(const std::string& table, const std::vector<std::string>& indexes)
{
    std::vector<std::string> files{table};
    files.insert(files.end(), indexes.begin(), indexes.end());
    std::string text = std::string(kMagic) + "\n";
    for (const std::string& f : files) {
        FileStamp stamp;
        // Synced first, so that the data the marker vouches for is on disk
        // before the marker is.
        if (!syncPath(f) || !stampOf(f, stamp))
            return false;
        text += stampLine(stamp, f);
    }
    text += std::string(kEnd) + "\n";
    const std::string path = pathFor(table);
    PosixFile file;
    if (file.create(path) != 0)
        return false;
    if (!file.writeExact(0, text.data(), text.size())) {
        file.close();
        removeFile(path);
        return false;
    }
    return true;
}

bool CleanMarker::remove(const std::string& table)
{
    const std::string path = pathFor(table);
    if (!fileExists(path))
        return true;
    return removeFile(path) && syncDirectoryOf(path);
}

std::vector<FileStamp> CleanMarker::vouchedStamps(const std::string& table)
{
    const std::vector<Entry> entries = readEntries(table);
    if (entries.empty() || !matches(entries.front(), table))
        return {};
    std::vector<FileStamp> stamps;
    for (size_t i = 1; i < entries.size(); ++i)
        stamps.push_back(entries[i].stamp);
    return stamps;
}

bool CleanMarker::vouchesFor(const std::string& table, const std::vector<std::string>& indexes)
{
    const std::vector<Entry> entries = readEntries(table);
    if (entries.empty() || !matches(entries.front(), table))
        return false;
    // Files are matched by identity, so a name given differently (relative or
    // absolute) still finds its entry.
    return std::all_of(indexes.begin(), indexes.end(), [&](const std::string& index) {
        FileStamp now;
        if (!stampOf(index, now))
            return false;
        return std::any_of(entries.begin() + 1, entries.end(),
                           [&](const Entry& e) { return e.stamp == now; });
    });
}

} // namespace dbf
