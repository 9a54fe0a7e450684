#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class RegistryStore;

// IndexNow: one open channel through which a site tells the participating
// search engines about new or changed pages. The site proves that it owns a
// host by serving its key as the text file https://HOST/KEY.txt; requests
// then name the pages and the key, either one page per GET
//   GEThttps://api.indexnow.org/indexnow?url=##url&key=##key
// or many pages of one host per JSON POST, written in the engines list as a
// line with the method word "INDEXNOW":
//   INDEXNOWhttps://api.indexnow.org/indexnow
namespace app {

inline constexpr std::string_view kIndexNowMethodWord = "INDEXNOW";
inline constexpr std::string_view kIndexNowContentType = "application/json; charset=utf-8";
// The most URLs the endpoints take in one POST.
inline constexpr size_t kIndexNowMaxUrls = 10000;
inline constexpr size_t kIndexNowKeyMinLength = 8;
inline constexpr size_t kIndexNowKeyMaxLength = 128;
// The second engines list written beside engines.txt on the first start.
inline constexpr const char* kIndexNowListFileName = "indexnow.txt";
inline constexpr std::string_view kIndexNowDefaultLine =
    "GEThttps://api.indexnow.org/indexnow?url=##url&key=##key";

// A new key: 32 lower-case hexadecimal characters from the system's random
// source. Throws Exception when the system gives no random bytes.
std::string generateIndexNowKey();

// True for 8 to 128 characters, each of a-z, A-Z, 0-9 or "-".
bool isValidIndexNowKey(std::string_view key);

// The key kept in the registry ("IndexNowKey"), empty when none is set.
// Storing refuses a key that is not valid (the result is then false); like
// every registry write, a failure to write the file is not reported.
std::string readIndexNowKey(RegistryStore& store);
bool storeIndexNowKey(RegistryStore& store, std::string_view key);

// The host part of a page address, lower-cased, with its port when the
// address names one ("www.example.org", "127.0.0.1:8443"); user
// credentials are left out. Empty when the address has no "scheme://host".
std::string pageHost(std::string_view page);

// Where a host serves its key: https://HOST/KEY.txt.
std::string keyFileAddress(std::string_view host, std::string_view key);

// True for an engine line whose method word is "INDEXNOW" (any letter case),
// blanks around the line ignored as for every engine line.
bool isIndexNowLine(std::string_view line);

// The pages of one host, and the JSON body that announces them:
//   {"host":HOST,"key":KEY,"keyLocation":"https://HOST/KEY.txt","urlList":[...]}
struct IndexNowBatch {
    std::string host;
    std::vector<std::string> pages; // as stored in the profile
    std::string body;               // UTF-8
};

// What a batch line sends: one POST of each batch's body to the endpoint,
// with the content type kIndexNowContentType.
struct IndexNowSubmission {
    std::string endpoint;
    std::string contentType;
    std::vector<IndexNowBatch> batches;
};

// Splits an INDEXNOW line and groups the pages by host, hosts in the order
// of their first page, at most maxUrls pages per batch. Pages go out as they
// are stored (a "%20" stays "%20"); blank pages and pages without a host are
// left out, as no host could accept them.
IndexNowSubmission indexNowSubmission(std::string_view line, const std::vector<std::string>& pages,
                                      std::string_view key, size_t maxUrls = kIndexNowMaxUrls);

// Text as a JSON string literal, quotes included: the 8-bit text is
// converted to UTF-8; quote, backslash and control characters are escaped.
std::string jsonString(std::string_view text);

// What an IndexNow endpoint means by a status when its answer has no body
// ("Accepted, key validation pending" for 202); empty for other statuses.
std::string_view indexNowStatusMeaning(int status);

} // namespace app
