#include "sitemap.h"

#include "profile.h"

#include <algorithm>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QXmlStreamReader>
#include <set>
#include <zlib.h>

namespace app {
namespace {

constexpr unsigned char kGzipMagic[] = {0x1f, 0x8b};
// zlib's window bits for a gzip stream (15, plus 16 for the gzip wrapper).
constexpr int kGzipWindowBits = 15 + 16;
constexpr size_t kInflateChunk = 64 * 1024;
constexpr int kIsoDateLength = 10; // "2026-11-30"

[[noreturn]] void fail(const std::string& source, const std::string& why)
{
    throw ESitemapError("sitemap " + source + ": " + why);
}

bool startsWithIgnoringCase(const std::string& text, const char* prefix)
{
    return QString::fromStdString(text).startsWith(QLatin1String(prefix), Qt::CaseInsensitive);
}

bool isWebAddress(const std::string& source)
{
    return startsWithIgnoringCase(source, "http://") || startsWithIgnoringCase(source, "https://");
}

// A file source as an absolute path: file:// addresses are decoded, other
// names are taken relative to the folder of the index that names them.
QString localPath(const std::string& source, const QString& folder)
{
    QString name = QString::fromStdString(source);
    if (startsWithIgnoringCase(source, "file:"))
        name = QUrl(name).toLocalFile();
    return QFileInfo(QDir(folder), name).absoluteFilePath();
}

std::string readFile(const std::string& source, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(source, "cannot be read: " + file.errorString().toStdString());
    if (static_cast<size_t>(file.size()) > kMaxSitemapBytes)
        fail(source, "is larger than 50 MB");
    // Pipes and devices have no size: read one byte past the limit to tell.
    QByteArray bytes = file.read(static_cast<qint64>(kMaxSitemapBytes) + 1);
    if (file.error() != QFileDevice::NoError)
        fail(source, "cannot be read: " + file.errorString().toStdString());
    if (static_cast<size_t>(bytes.size()) > kMaxSitemapBytes)
        fail(source, "is larger than 50 MB");
    return bytes.toStdString();
}

std::string fetchWeb(const std::string& source, const Fetcher& fetch)
{
    if (!fetch)
        fail(source, "cannot be fetched here");
    FetchResult result = fetch(source, kMaxSitemapBytes);
    if (!result.succeeded())
        fail(source, "cannot be fetched: " + result.problem());
    if (result.body.size() > kMaxSitemapBytes)
        fail(source, "is larger than 50 MB");
    return std::move(result.body);
}

bool isGzip(const std::string& bytes)
{
    return bytes.size() >= sizeof kGzipMagic &&
           static_cast<unsigned char>(bytes[0]) == kGzipMagic[0] &&
           static_cast<unsigned char>(bytes[1]) == kGzipMagic[1];
}

// Unpacks gzip data, refusing more than kMaxSitemapBytes of output so that
// a small file cannot unpack into an unbounded one.
std::string inflateGzip(const std::string& source, const std::string& packed)
{
    z_stream stream = {};
    if (inflateInit2(&stream, kGzipWindowBits) != Z_OK)
        fail(source, "cannot be unpacked");
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    stream.avail_in = static_cast<uInt>(packed.size());
    std::string out;
    int status = Z_OK;
    while (status == Z_OK) {
        const size_t used = out.size();
        out.resize(used + kInflateChunk);
        stream.next_out = reinterpret_cast<Bytef*>(out.data() + used);
        stream.avail_out = static_cast<uInt>(kInflateChunk);
        status = inflate(&stream, Z_NO_FLUSH);
        out.resize(used + kInflateChunk - stream.avail_out);
        if (out.size() > kMaxSitemapBytes) {
            inflateEnd(&stream);
            fail(source, "is larger than 50 MB once unpacked");
        }
        if (status == Z_BUF_ERROR && stream.avail_in == 0)
            break; // the input ended before the stream did
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END)
        fail(source, "holds damaged or incomplete gzip data");
    return out;
}

// One parsed document: the entries of a urlset, or the sitemaps an index
// names.
struct Document {
    bool index = false;
    std::vector<std::pair<QString, QString>> entries; // loc, lastmod
};

Document parseDocument(const std::string& source, const std::string& bytes)
{
    QXmlStreamReader xml(
        QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())));
    Document document;
    if (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("sitemapindex"))
            document.index = true;
        else if (xml.name() != QLatin1String("urlset"))
            fail(source, "is not a sitemap (its root element is <" +
                             xml.name().toString().toStdString() + ">)");
        const QLatin1String entry(document.index ? "sitemap" : "url");
        while (xml.readNextStartElement()) {
            if (xml.name() != entry) {
                xml.skipCurrentElement();
                continue;
            }
            QString loc, lastmod;
            while (xml.readNextStartElement()) {
                if (xml.name() == QLatin1String("loc"))
                    loc = xml.readElementText().trimmed();
                else if (xml.name() == QLatin1String("lastmod"))
                    lastmod = xml.readElementText().trimmed();
                else
                    xml.skipCurrentElement();
            }
            if (!loc.isEmpty())
                document.entries.emplace_back(loc, lastmod);
        }
    }
    // Read on to the end, so that damage after the root element counts too.
    while (!xml.atEnd() && !xml.hasError())
        xml.readNext();
    if (xml.hasError())
        fail(source, "is malformed XML (line " + std::to_string(xml.lineNumber()) + ", column " +
                         std::to_string(xml.columnNumber()) +
                         "): " + xml.errorString().toStdString());
    return document;
}

// A page address as profiles keep it: one line of printable ASCII. Spaces
// become "%20" as everywhere else; other blanks, control characters and
// characters beyond ASCII are percent-encoded (as UTF-8), so that an address
// can neither break the profile's lines nor change in the 8-bit encoding.
std::string storedPage(const QString& loc)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string page;
    for (char c : loc.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == ' ') {
            page += "%20";
        } else if (byte < 0x21 || byte > 0x7E) {
            page += '%';
            page += kHex[byte >> 4];
            page += kHex[byte & 0x0F];
        } else {
            page += c;
        }
    }
    return page;
}

// A sitemap named by an index. An index from the web may name only web
// addresses (a relative one is resolved against the index's address):
// a web site must not make the program read local files.
std::string childSource(const std::string& index, bool web, const QString& loc)
{
    if (!web)
        return loc.toStdString();
    const std::string resolved =
        QUrl(QString::fromStdString(index)).resolved(QUrl(loc)).toString().toStdString();
    if (!isWebAddress(resolved))
        fail(index, "names a sitemap that is no web address: " + loc.toStdString());
    return resolved;
}

// Walks a sitemap and the indexes below it.
class SitemapWalk {
public:
    explicit SitemapWalk(const Fetcher& fetch) : m_fetch(fetch) {}

    void read(const std::string& source, int level, const QString& folder)
    {
        const bool web = isWebAddress(source);
        const QString path = web ? QString() : localPath(source, folder);
        const std::string identity = web ? source : path.toStdString();
        if (std::find(m_ancestors.begin(), m_ancestors.end(), identity) != m_ancestors.end())
            fail(source, "leads back to itself through its sitemap index (a loop)");
        if (!m_visited.insert(identity).second)
            return; // named twice by the indexes: its pages are in already
        if (++m_sitemaps > kMaxSitemaps)
            fail(source, "is one sitemap too many (at most 1000 are read)");

        std::string bytes = web ? fetchWeb(source, m_fetch) : readFile(source, path);
        if (isGzip(bytes))
            bytes = inflateGzip(source, bytes);
        const Document document = parseDocument(source, bytes);
        if (!document.index) {
            for (const auto& [loc, lastmod] : document.entries)
                m_entries.push_back({storedPage(loc), lastmod.toStdString()});
            return;
        }
        if (level >= kMaxSitemapLevels && !document.entries.empty())
            fail(source, "nests sitemap indexes deeper than 3 levels");
        m_ancestors.push_back(identity);
        const QString childFolder = web ? QString() : QFileInfo(path).absolutePath();
        for (const auto& entry : document.entries)
            read(childSource(source, web, entry.first), level + 1, childFolder);
        m_ancestors.pop_back();
    }

    std::vector<SitemapEntry> take() { return std::move(m_entries); }

private:
    const Fetcher& m_fetch;
    std::vector<std::string> m_ancestors;
    std::set<std::string> m_visited;
    int m_sitemaps = 0;
    std::vector<SitemapEntry> m_entries;
};

std::optional<QDate> lastmodDate(const std::string& lastmod)
{
    QDate date =
        QDate::fromString(QString::fromStdString(lastmod.substr(0, kIsoDateLength)), Qt::ISODate);
    return date.isValid() ? std::optional<QDate>(date) : std::nullopt;
}

} // namespace

std::vector<SitemapEntry> readSitemap(const std::string& source, const Fetcher& fetch)
{
    SitemapWalk walk(fetch);
    walk.read(source, 1, QDir::currentPath());
    return walk.take();
}

std::string SitemapImport::message() const
{
    return "added " + std::to_string(added) + " pages (" + std::to_string(inSitemap) +
           " in the sitemap)";
}

SitemapImport mergeSitemapPages(std::vector<std::string>& pages,
                                const std::vector<SitemapEntry>& entries,
                                std::optional<QDate> since)
{
    SitemapImport result;
    result.inSitemap = static_cast<int>(entries.size());
    std::set<std::string> known(pages.begin(), pages.end());
    for (const SitemapEntry& entry : entries) {
        if (since) {
            std::optional<QDate> date = lastmodDate(entry.lastmod);
            if (!date || *date < *since)
                continue;
        }
        if (!known.insert(entry.page).second)
            continue;
        pages.push_back(entry.page);
        ++result.added;
    }
    return result;
}

SitemapImport importSitemap(const std::string& source, const QString& profilePath,
                            const Fetcher& fetch, std::optional<QDate> since)
{
    // The profile is read first: a sitemap is not worth fetching for a
    // profile that cannot be read.
    Profile profile = readProfile(profilePath);
    const std::vector<SitemapEntry> entries = readSitemap(source, fetch);
    SitemapImport result = mergeSitemapPages(profile.pages, entries, since);
    if (result.added > 0)
        writeProfile(profilePath, profile);
    return result;
}

} // namespace app
