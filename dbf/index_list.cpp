#include "dbf/index_list.h"

#include "base/ascii.h"
#include "dbf/file_name.h"

namespace dbf {

namespace {

struct OptionWord {
    std::string_view word;
    bool IndexOptions::*flag;
};

constexpr OptionWord kOptionWords[] = {{"UNIQUE", &IndexOptions::unique},
                                       {"SOUNDEX", &IndexOptions::soundex},
                                       {"DESCENDING", &IndexOptions::descending},
                                       {"NOCACHE", &IndexOptions::noCache}};

} // namespace

IndexOptions parseIndexOptions(const std::string& fileWithOptions)
{
    IndexOptions options;
    std::string rest = fileWithOptions;
    for (const OptionWord& option : kOptionWords) {
        const std::string blankAndWord = " " + std::string(option.word);
        const size_t at = base::toUpper(rest).find(blankAndWord);
        if (at != std::string::npos) {
            options.*option.flag = true;
            rest.erase(at, blankAndWord.size());
        }
    }
    rest = base::trimmedSpaces(rest);
    options.path = rest.empty() ? rest : withDefaultExtension(rest, ".ndx");
    return options;
}

bool isIndexOptionWord(std::string_view word)
{
    for (const OptionWord& option : kOptionWords)
        if (base::equalsIgnoreCase(word, option.word))
            return true;
    return false;
}

std::string IndexListEntry::text() const
{
    std::string out = file;
    for (const std::string& option : options)
        out += " " + option;
    return out;
}

std::vector<IndexListEntry> splitIndexList(const std::string& list)
{
    std::vector<IndexListEntry> entries;
    size_t pos = 0;
    while (pos < list.size()) {
        const size_t start = list.find_first_not_of(' ', pos);
        if (start == std::string::npos)
            break;
        size_t end = list.find(' ', start);
        if (end == std::string::npos)
            end = list.size();
        std::string word = list.substr(start, end - start);
        if (!entries.empty() && isIndexOptionWord(word))
            entries.back().options.push_back(std::move(word));
        else
            entries.push_back({std::move(word), {}});
        pos = end;
    }
    return entries;
}

} // namespace dbf
