#pragma once

#include "fetch.h"

#include <string>
#include <string_view>
#include <vector>

// Whether each host of a profile serves the IndexNow key, as the engines
// will check it: the text file https://HOST/KEY.txt holding the key.
namespace app {

struct KeyCheckLine {
    std::string host;
    bool good = false;
    // "key found", "key file missing (HTTP 404)", "key file holds another
    // key", "key file not served (HTTP 403 Forbidden)" or the transport
    // failure.
    std::string text;

    // "HOST: TEXT", as the command prints it.
    std::string line() const { return host + ": " + text; }
};

// Fetches the key file of every host among the pages (in the order of their
// first page) and tells for each whether it holds the key. The file may end
// with blanks or a line end; nothing else may differ.
std::vector<KeyCheckLine> checkKey(const std::vector<std::string>& pages, std::string_view key,
                                   const Fetcher& fetch);

} // namespace app
