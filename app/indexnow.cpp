#include "indexnow.h"

#include "engine_line.h"
#include "registry_keys.h"

#include "base/ascii.h"
#include "platform/ansi.h"
#include "platform/exception.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>
#include <unordered_map>

namespace app {
namespace {

constexpr size_t kKeyBytes = 16; // 32 hexadecimal characters
constexpr std::string_view kSchemeSeparator = "://";

// Fills the buffer from the kernel's random source; /dev/urandom serves
// when getrandom is not available (old kernels, some sandboxes).
bool fillRandom(unsigned char* buffer, size_t size)
{
    size_t filled = 0;
    while (filled < size) {
        ssize_t got = ::getrandom(buffer + filled, size - filled, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        filled += static_cast<size_t>(got);
    }
    if (filled == size)
        return true;
    int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    filled = 0;
    while (filled < size) {
        ssize_t got = ::read(fd, buffer + filled, size - filled);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        filled += static_cast<size_t>(got);
    }
    ::close(fd);
    return filled == size;
}

bool isKeyCharacter(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-';
}

std::string batchBody(const std::string& host, std::string_view key,
                      const std::vector<std::string>& pages)
{
    std::string body = "{\"host\":" + jsonString(host) + ",\"key\":" + jsonString(key) +
                       ",\"keyLocation\":" + jsonString(keyFileAddress(host, key)) +
                       ",\"urlList\":[";
    for (size_t i = 0; i < pages.size(); ++i) {
        if (i > 0)
            body += ',';
        body += jsonString(pages[i]);
    }
    body += "]}";
    return body;
}

} // namespace

std::string generateIndexNowKey()
{
    std::array<unsigned char, kKeyBytes> bytes{};
    if (!fillRandom(bytes.data(), bytes.size()))
        throw Exception("The system gave no random bytes for a new key");
    static constexpr char kHex[] = "0123456789abcdef";
    std::string key;
    for (unsigned char byte : bytes) {
        key += kHex[byte >> 4];
        key += kHex[byte & 0x0F];
    }
    return key;
}

bool isValidIndexNowKey(std::string_view key)
{
    return key.size() >= kIndexNowKeyMinLength && key.size() <= kIndexNowKeyMaxLength &&
           std::all_of(key.begin(), key.end(), isKeyCharacter);
}

std::string readIndexNowKey(RegistryStore& store)
{
    return readRegKey(store, kPreferencesKey, kIndexNowKeyValue).trimmed().toStdString();
}

bool storeIndexNowKey(RegistryStore& store, std::string_view key)
{
    if (!isValidIndexNowKey(key))
        return false;
    writeRegKey(store, kPreferencesKey, kIndexNowKeyValue,
                QString::fromLatin1(key.data(), static_cast<qsizetype>(key.size())));
    return true;
}

std::string pageHost(std::string_view page)
{
    size_t scheme = page.find(kSchemeSeparator);
    if (scheme == std::string_view::npos || scheme == 0)
        return {};
    std::string_view rest = page.substr(scheme + kSchemeSeparator.size());
    std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
    size_t at = authority.rfind('@');
    if (at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    return base::toLower(authority);
}

std::string keyFileAddress(std::string_view host, std::string_view key)
{
    return "https://" + std::string(host) + "/" + std::string(key) + ".txt";
}

bool isIndexNowLine(std::string_view line)
{
    line = trimEngineLine(line);
    return line.size() >= kIndexNowMethodWord.size() &&
           base::equalsIgnoreCase(line.substr(0, kIndexNowMethodWord.size()), kIndexNowMethodWord);
}

IndexNowSubmission indexNowSubmission(std::string_view line, const std::vector<std::string>& pages,
                                      std::string_view key, size_t maxUrls)
{
    line = trimEngineLine(line);
    IndexNowSubmission submission;
    submission.endpoint =
        std::string(line.substr(std::min(line.size(), kIndexNowMethodWord.size())));
    submission.contentType = std::string(kIndexNowContentType);
    maxUrls = std::max<size_t>(maxUrls, 1);

    // Hosts in the order of their first page; each host's pages in profile
    // order, cut into batches of at most maxUrls.
    std::vector<std::pair<std::string, std::vector<std::string>>> hosts;
    std::unordered_map<std::string, size_t> hostIndex;
    for (const std::string& page : pages) {
        std::string host = pageHost(page);
        if (host.empty())
            continue;
        auto [found, added] = hostIndex.try_emplace(host, hosts.size());
        if (added)
            hosts.emplace_back(std::move(host), std::vector<std::string>{});
        hosts[found->second].second.push_back(page);
    }
    for (const auto& [host, hostPages] : hosts) {
        for (size_t start = 0; start < hostPages.size(); start += maxUrls) {
            IndexNowBatch batch;
            batch.host = host;
            size_t end = std::min(hostPages.size(), start + maxUrls);
            batch.pages.assign(hostPages.begin() + static_cast<std::ptrdiff_t>(start),
                               hostPages.begin() + static_cast<std::ptrdiff_t>(end));
            batch.body = batchBody(host, key, batch.pages);
            submission.batches.push_back(std::move(batch));
        }
    }
    return submission;
}

std::string jsonString(std::string_view text)
{
    const QByteArray utf8 = platform::fromAnsi(text).toUtf8();
    std::string result = "\"";
    for (char c : utf8) {
        switch (c) {
        case '"':
            result += "\\\"";
            break;
        case '\\':
            result += "\\\\";
            break;
        case '\b':
            result += "\\b";
            break;
        case '\f':
            result += "\\f";
            break;
        case '\n':
            result += "\\n";
            break;
        case '\r':
            result += "\\r";
            break;
        case '\t':
            result += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
                result += escaped;
            } else {
                result += c;
            }
        }
    }
    result += '"';
    return result;
}

std::string_view indexNowStatusMeaning(int status)
{
    switch (status) {
    case 200:
        return "URLs received";
    case 202:
        return "Accepted, key validation pending";
    case 400:
        return "Bad request";
    case 403:
        return "Key not valid for this host";
    case 422:
        return "URLs do not belong to the host, or the key does not match";
    case 429:
        return "Too many requests: slow down";
    default:
        return {};
    }
}

} // namespace app
