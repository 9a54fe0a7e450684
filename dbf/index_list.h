#pragma once

// Index file names as MakeIndex, SetIndexTo and Index_On take them: a file
// name followed by option words (UNIQUE, SOUNDEX, DESCENDING, NOCACHE, in any
// letter case), and lists of such names separated by blanks.

#include <string>
#include <string_view>
#include <vector>

namespace dbf {

struct IndexOptions {
    std::string path; // with ".ndx" added when it has no extension
    bool unique = false;
    bool soundex = false;
    bool descending = false;
    bool noCache = false;
};

// Takes the option words out of a file name with options. The name may hold
// blanks (a long file name); the words are found wherever a blank precedes
// them.
IndexOptions parseIndexOptions(const std::string& fileWithOptions);

bool isIndexOptionWord(std::string_view word);

// One index of a list: its file name and the option words written after it.
struct IndexListEntry {
    std::string file;
    std::vector<std::string> options;
    // The name followed by its options, one blank between words.
    std::string text() const;
};

// Splits a blank-separated list of index files; an option word belongs to
// the file name before it (a leading one is taken for a file name).
std::vector<IndexListEntry> splitIndexList(const std::string& list);

} // namespace dbf
