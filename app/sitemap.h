#pragma once

#include "fetch.h"

#include "platform/exception.h"

#include <cstddef>
#include <optional>
#include <QDate>
#include <QString>
#include <string>
#include <vector>

// Sitemaps: the XML files in which a site lists its pages. A `urlset` names
// pages (`url` elements with `loc` and an optional `lastmod`); a
// `sitemapindex` names further sitemaps (`sitemap` elements with `loc`).
// Either may come gzip-compressed, which is recognised by its first bytes
// whatever the file is called.
namespace app {

// The largest sitemap read, compressed or not.
inline constexpr size_t kMaxSitemapBytes = 50 * 1024 * 1024;
// The source is level 1; an index there may name sitemaps down to level 3.
inline constexpr int kMaxSitemapLevels = 3;
inline constexpr int kMaxSitemaps = 1000;

// A sitemap that cannot be read, fetched, inflated or understood; the
// message says which one and why.
class ESitemapError : public Exception {
public:
    using Exception::Exception;
};

struct SitemapEntry {
    std::string page;    // as a profile stores it: printable ASCII, "%20" for spaces
    std::string lastmod; // as written, e.g. "2026-11-30" or "2026-11-30T08:00:00+00:00"
};

// Every page entry of the sitemap at `source` (an http or https address, a
// file:// address or a file name), following indexes. http(s) addresses go
// through `fetch`; files are read directly. Throws ESitemapError for
// malformed XML, a document that is no sitemap, one larger than
// kMaxSitemapBytes, an index that leads back to itself, indexes nested
// deeper than kMaxSitemapLevels or more than kMaxSitemaps sitemaps, and for
// a sitemap that cannot be read.
std::vector<SitemapEntry> readSitemap(const std::string& source, const Fetcher& fetch);

struct SitemapImport {
    int added = 0;     // pages new to the profile
    int inSitemap = 0; // page entries the sitemap holds
    // "added N pages (M in the sitemap)"
    std::string message() const;
};

// Appends to `pages` the entries not in it yet, in sitemap order; with
// `since`, only entries whose lastmod date is that day or later (an entry
// without a readable lastmod is left out then).
SitemapImport mergeSitemapPages(std::vector<std::string>& pages,
                                const std::vector<SitemapEntry>& entries,
                                std::optional<QDate> since = std::nullopt);

// Reads the sitemap, merges its pages into the profile file and rewrites
// the profile (only when pages were added). On any error the profile is left
// as it was: ESitemapError for the sitemap, EInOutError for the profile.
SitemapImport importSitemap(const std::string& source, const QString& profilePath,
                            const Fetcher& fetch, std::optional<QDate> since = std::nullopt);

} // namespace app
