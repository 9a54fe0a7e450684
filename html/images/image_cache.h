#pragma once

#include "html/images/image_loader.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>

// Decoded pictures kept across document loads, shared by every viewer of the
// program, so that going back and forth between pages does not decode the
// same images again.
//
// Each entry counts its uses (documents now shown that hold it) and its idle
// loads (loads since it was last taken). Every load first ages all entries
// and drops those that are unused and have been idle for more loads than
// the limit. Names are matched trimmed and in upper case, the way file names
// and addresses compare on the systems the pages come from.
//
// Used from the user-interface thread only.
class ImageCache {
public:
    static constexpr int kDefaultLimit = 5;
    static constexpr int kMaxLimit = 20;

    struct Counts {
        int usage = 0;
        int access = 0;
    };

    // The one cache all viewers share.
    static ImageCache& Shared();

    // The key of `name`: blanks trimmed, Windows-1252 letters upper-cased.
    static std::string KeyOf(std::string_view name);

    // Called at the start of every load: ages every entry by one load and
    // drops the unused ones idle for more than Limit() loads.
    void BeginLoad();

    // The cached picture, now counted as used once more and idle for no
    // loads; nothing when the name is not cached.
    std::optional<images::LoadedImage> Take(std::string_view name);

    // Caches a picture just loaded for a document: used once more, idle for
    // no loads. The picture of an entry of the same name is replaced.
    void Add(std::string_view name, images::LoadedImage picture);

    // A document that held the picture is gone.
    void Release(std::string_view name);

    // The number of loads an unused picture survives, 0 to kMaxLimit.
    // Lowering it drops at once the unused entries idle for longer.
    int Limit() const { return m_limit; }
    void setLimit(int limit);

    int Count() const { return static_cast<int>(m_entries.size()); }
    std::optional<Counts> CountsOf(std::string_view name) const;
    void Clear() { m_entries.clear(); }

private:
    struct Entry {
        images::LoadedImage picture;
        Counts counts;
    };

    void dropIdle();

    std::map<std::string, Entry> m_entries;
    int m_limit = kDefaultLimit;
};
