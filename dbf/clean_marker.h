#pragma once

// The "indexes are current" marker: a small text file beside a table
// (TABLE.dbf.clean) written at a clean close of an exclusive table. It names
// the table and each index that was open and maintained until the close, with
// the size, modification time, change time and inode of each file as they
// were after everything had been written and synced:
//
//   quorvane-clean 1
//   file SIZE MTIME_NS CTIME_NS INODE NAME
//   ...
//   end
//
// The first change of the table (or of one of its indexes) removes the marker
// before anything reaches the files, so a crash never leaves a marker behind
// a change. A change made by another program moves the change time of the
// file it touched, so the marker no longer matches. Only a marker that is
// complete and matches every named file vouches for the indexes.

#include "dbf/posix_file.h"

#include <string>
#include <vector>

namespace dbf {

class CleanMarker {
public:
    static std::string pathFor(const std::string& table);

    // Syncs the table and the indexes to disk, then writes the marker naming
    // them. Returns false (and leaves no marker) when any step fails.
    static bool write(const std::string& table, const std::vector<std::string>& indexes);

    // Removes the marker of `table` and syncs the directory, so that the
    // removal is on disk before the change that follows it. Returns false when
    // a marker was there and could not be removed.
    static bool remove(const std::string& table);

    // True when the marker is complete, names the table and every one of
    // `indexes`, and each file still matches what the marker says.
    static bool vouchesFor(const std::string& table, const std::vector<std::string>& indexes);

    // The stamps of the index files a complete marker names, when the table
    // still matches it; empty otherwise. An index file whose stamp is among
    // them is current.
    static std::vector<FileStamp> vouchedStamps(const std::string& table);
};

} // namespace dbf
