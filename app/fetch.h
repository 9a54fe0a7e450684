#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Fetching one document by its address, for the commands that read what a
// web site serves (sitemaps, the IndexNow key file). The logic that uses it
// takes the fetch as a function, so that the program fetches through its
// HTTP client and tests can answer from files or from memory.
namespace app {

struct FetchResult {
    uint16_t error = 0;  // transport code; 0 when the server answered
    int status = 0;      // HTTP status of the answer
    std::string reason;  // its reason phrase
    std::string failure; // what went wrong, when error is not 0
    std::string body;    // at most maxBytes + 1 bytes (see Fetcher)

    bool answered() const { return error == 0; }
    bool succeeded() const { return error == 0 && status >= 200 && status < 300; }
    // "HTTP 404 Not Found", or the transport failure.
    std::string problem() const;
};

// Fetches the address. A body longer than maxBytes may be cut at
// maxBytes + 1 bytes, enough for the caller to see that it is too long.
using Fetcher = std::function<FetchResult(const std::string& address, size_t maxBytes)>;

} // namespace app
