#pragma once

#include "dbf/field_info.h"
#include "dbf/key_maker.h"
#include "dbf/memo_file.h"

#include <cstdint>
#include <functional>
#include <string>

namespace dbf {

// Settings shared by every work area of one engine.
struct EngineConfig {
    DateSettings dates;
    bool hideDeleted = false;
    bool flushEveryWrite = false;
    bool autoFixRecCount = false;
    // Off: every table is opened exclusively and no locks are taken.
    bool networkSharing = false;
    // Byte-range locks sit this far above the data so they never block reads.
    uint64_t lockBase = 0x40000000;
    int lockRetries = 3;
    // Asked when the retries of a lock are used up; true starts them again.
    std::function<bool()> onLockRetry;
    MemoStyle memoStyle = MemoStyle::DBase3;
    bool uniqueIndexes = false;
    // Memory an index build may use for sorting before it spills to disk.
    size_t sortMemory = size_t(64) << 20;
    // Collect appended records and memos of exclusive tables in memory and
    // write them in batches (at 64 KB, on flush, close and any other access).
    // Much faster for bulk loads, but a crash of the process loses what was
    // not yet written, so it is off unless a bulk writer asks for it.
    bool batchAppends = false;
    // Makes keys for indexes built without an expression (empty: none).
    KeyMaker keyMaker;
    std::string semaphoreDirectory;
    int customSignature = -1; // an extra accepted version byte
    // Reports a failure that does not stop the operation (division by zero
    // in a key expression).
    std::function<void(int code, const std::string& message)> softError;
};

} // namespace dbf
