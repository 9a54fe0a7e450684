#include "key_check.h"

#include "indexnow.h"

#include "base/ascii.h"

#include <algorithm>

namespace app {
namespace {

// A key file holds a key of at most 128 characters; a little more shows
// that it holds something else.
constexpr size_t kMaxKeyFileBytes = 4096;
constexpr int kNotFound = 404;
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string trimmed(std::string_view text)
{
    if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom)
        text.remove_prefix(kUtf8Bom.size());
    return base::trimmed(text);
}

KeyCheckLine checkHost(const std::string& host, std::string_view key, const Fetcher& fetch)
{
    KeyCheckLine line;
    line.host = host;
    const FetchResult result = fetch(keyFileAddress(host, key), kMaxKeyFileBytes);
    if (!result.answered())
        line.text = result.problem();
    else if (result.status == kNotFound)
        line.text = "key file missing (HTTP 404)";
    else if (!result.succeeded())
        line.text = "key file not served (" + result.problem() + ")";
    else if (trimmed(result.body) != key)
        line.text = "key file holds another key";
    else {
        line.good = true;
        line.text = "key found";
    }
    return line;
}

} // namespace

std::vector<KeyCheckLine> checkKey(const std::vector<std::string>& pages, std::string_view key,
                                   const Fetcher& fetch)
{
    std::vector<std::string> hosts;
    for (const std::string& page : pages) {
        std::string host = pageHost(page);
        if (!host.empty() && std::find(hosts.begin(), hosts.end(), host) == hosts.end())
            hosts.push_back(std::move(host));
    }
    std::vector<KeyCheckLine> lines;
    for (const std::string& host : hosts)
        lines.push_back(checkHost(host, key, fetch));
    return lines;
}

} // namespace app
