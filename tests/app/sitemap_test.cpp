#include "app/sitemap.h"

#include "platform/text_file.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>
#include <zlib.h>

namespace {

using Pages = std::vector<std::string>;

std::string urlset(const std::vector<std::pair<std::string, std::string>>& entries)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
    for (const auto& [loc, lastmod] : entries) {
        xml += "  <url><loc>" + loc + "</loc>";
        if (!lastmod.empty())
            xml += "<lastmod>" + lastmod + "</lastmod>";
        xml += "<priority>0.5</priority></url>\n";
    }
    return xml + "</urlset>\n";
}

std::string sitemapIndex(const std::vector<std::string>& locs)
{
    std::string xml = "<?xml version=\"1.0\"?>\n"
                      "<sitemapindex xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
    for (const std::string& loc : locs)
        xml += "  <sitemap><loc>" + loc + "</loc><lastmod>2026-01-01</lastmod></sitemap>\n";
    return xml + "</sitemapindex>\n";
}

std::string gzip(const std::string& data)
{
    z_stream stream = {};
    deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, data.size()) + 64, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

class Sitemap : public ::testing::Test {
protected:
    std::string write(const QString& name, const std::string& bytes)
    {
        QFile file(m_dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes.data(), static_cast<qint64>(bytes.size()));
        return file.fileName().toStdString();
    }
    QString profile(const Pages& pages)
    {
        Pages lines = {"me@example.org", "Jo%20Doe", "01.12.2026"};
        lines.insert(lines.end(), pages.begin(), pages.end());
        QString path = m_dir.filePath("site.ini");
        platform::writeTextLines(path, lines);
        return path;
    }
    Pages profilePages(const QString& path)
    {
        Pages lines = platform::readTextLines(path);
        return Pages(lines.begin() + 3, lines.end());
    }
    QByteArray bytesOf(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QString folder() const { return m_dir.path(); }

    QTemporaryDir m_dir;
};

TEST_F(Sitemap, UrlsetPagesAreAddedOnceAndTheProfileKeepsItsOtherLines)
{
    std::string source = write("sitemap.xml", urlset({{"https://s.example/a", ""},
                                                      {" https://s.example/b\n", ""},
                                                      {"https://s.example/a", ""},
                                                      {"https://s.example/old", ""}}));
    QString path = profile({"https://s.example/old", ""});
    app::SitemapImport result = app::importSitemap(source, path, nullptr);
    EXPECT_EQ(result.message(), "added 2 pages (4 in the sitemap)");
    Pages lines = platform::readTextLines(path);
    EXPECT_EQ(lines, (Pages{"me@example.org", "Jo%20Doe", "01.12.2026", "https://s.example/old", "",
                            "https://s.example/a", "https://s.example/b"}));
}

TEST_F(Sitemap, AddressesBecomeOneLineOfPrintableAscii)
{
    std::string source = write("sitemap.xml", urlset({{"https://s.example/a b?x=1&amp;y=2", ""},
                                                      {"https://s.example/caf\xc3\xa9", ""}}));
    Pages pages;
    app::mergeSitemapPages(pages, app::readSitemap(source, nullptr));
    EXPECT_EQ(pages, (Pages{"https://s.example/a%20b?x=1&y=2", "https://s.example/caf%C3%A9"}));
}

TEST_F(Sitemap, NestedIndexesAreFollowedByFileAndByRelativeName)
{
    write("pages1.xml", urlset({{"https://s.example/1", ""}}));
    write("pages2.xml.gz", gzip(urlset({{"https://s.example/2", ""}})));
    write("inner.xml", sitemapIndex({"pages2.xml.gz"}));
    std::string top =
        write("index.xml", sitemapIndex({"file://" + folder().toStdString() + "/pages1.xml",
                                         "inner.xml", "pages1.xml"}));
    Pages pages;
    app::SitemapImport result = app::mergeSitemapPages(pages, app::readSitemap(top, nullptr));
    EXPECT_EQ(pages, (Pages{"https://s.example/1", "https://s.example/2"}));
    EXPECT_EQ(result.inSitemap, 2);
}

TEST_F(Sitemap, GzipIsRecognisedByItsFirstBytesWhateverTheName)
{
    std::string source = write("plain-name.xml", gzip(urlset({{"https://s.example/z", ""}})));
    Pages pages;
    app::mergeSitemapPages(pages, app::readSitemap(source, nullptr));
    EXPECT_EQ(pages, Pages{"https://s.example/z"});
}

TEST_F(Sitemap, SinceKeepsEntriesModifiedOnOrAfterTheDay)
{
    std::string source =
        write("sitemap.xml", urlset({{"https://s.example/before", "2026-11-30"},
                                     {"https://s.example/on", "2026-12-01"},
                                     {"https://s.example/after", "2026-12-05T08:00:00+01:00"},
                                     {"https://s.example/undated", ""},
                                     {"https://s.example/garbled", "soon"}}));
    QString path = profile({});
    app::SitemapImport result = app::importSitemap(source, path, nullptr, QDate(2026, 12, 1));
    EXPECT_EQ(result.message(), "added 2 pages (5 in the sitemap)");
    EXPECT_EQ(profilePages(path), (Pages{"https://s.example/on", "https://s.example/after"}));
}

TEST_F(Sitemap, ErrorsLeaveTheProfileUnchanged)
{
    struct Case {
        const char* what;
        std::string bytes;
        const char* error;
    };
    std::string tooBigWhenUnpacked = gzip(std::string(app::kMaxSitemapBytes + 1, ' '));
    const Case cases[] = {
        {"malformed XML", "<urlset><url><loc>https://s.example/a</url></urlset>",
         "is malformed XML (line 1"},
        {"trailing damage", urlset({{"https://s.example/a", ""}}) + "<junk", "is malformed XML"},
        {"empty file", "", "is malformed XML"},
        {"no sitemap", "<html><body>Not found</body></html>",
         "is not a sitemap (its root element is <html>)"},
        {"damaged gzip", gzip(urlset({{"https://s.example/a", ""}})).substr(0, 20),
         "damaged or incomplete gzip data"},
        {"gzip bomb", tooBigWhenUnpacked, "is larger than 50 MB once unpacked"},
    };
    QString path = profile({"https://s.example/kept"});
    const QByteArray before = bytesOf(path);
    for (const Case& c : cases) {
        std::string source = write("bad.xml", c.bytes);
        try {
            app::importSitemap(source, path, nullptr);
            ADD_FAILURE() << c.what << ": no error";
        } catch (const app::ESitemapError& error) {
            EXPECT_NE(std::string(error.what()).find(c.error), std::string::npos)
                << c.what << ": " << error.what();
        }
        EXPECT_EQ(bytesOf(path), before) << c.what;
    }
}

TEST_F(Sitemap, AFileOverFiftyMegabytesIsRefusedUnread)
{
    QFile big(m_dir.filePath("big.xml"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(static_cast<qint64>(app::kMaxSitemapBytes) + 1)); // sparse
    big.close();
    EXPECT_THROW(
        {
            try {
                app::readSitemap(big.fileName().toStdString(), nullptr);
            } catch (const app::ESitemapError& error) {
                EXPECT_NE(std::string(error.what()).find("is larger than 50 MB"),
                          std::string::npos);
                throw;
            }
        },
        app::ESitemapError);
    // A device has no size to go by; reading stops one byte past the limit.
    EXPECT_THROW(app::readSitemap("/dev/zero", nullptr), app::ESitemapError);
}

TEST_F(Sitemap, IndexLoopsDepthAndCountEndWithAClearError)
{
    struct Case {
        const char* what;
        std::vector<std::pair<QString, std::string>> files; // first is the source
        const char* error;
    };
    const Case cases[] = {
        {"index naming itself", {{"self.xml", sitemapIndex({"self.xml"})}}, "a loop"},
        {"two indexes naming each other",
         {{"a.xml", sitemapIndex({"b.xml"})}, {"b.xml", sitemapIndex({"a.xml"})}},
         "a loop"},
        {"four levels",
         {{"l1.xml", sitemapIndex({"l2.xml"})},
          {"l2.xml", sitemapIndex({"l3.xml"})},
          {"l3.xml", sitemapIndex({"l4.xml"})},
          {"l4.xml", urlset({{"https://s.example/deep", ""}})}},
         "deeper than 3 levels"},
        {"missing sitemap", {{"top.xml", sitemapIndex({"nowhere.xml"})}}, "cannot be read"},
    };
    for (const Case& c : cases) {
        for (const auto& [name, bytes] : c.files)
            write(name, bytes);
        try {
            app::readSitemap(m_dir.filePath(c.files.front().first).toStdString(), nullptr);
            ADD_FAILURE() << c.what << ": no error";
        } catch (const app::ESitemapError& error) {
            EXPECT_NE(std::string(error.what()).find(c.error), std::string::npos)
                << c.what << ": " << error.what();
        }
    }
}

TEST_F(Sitemap, AtMostAThousandSitemapsAreRead)
{
    // Fetched addresses that differ are different sitemaps.
    int fetched = 0;
    app::Fetcher fetch = [&](const std::string& address, size_t) {
        ++fetched;
        app::FetchResult result;
        result.status = 200;
        if (address == "https://s.example/index.xml") {
            std::vector<std::string> locs;
            for (int i = 0; i < app::kMaxSitemaps; ++i)
                locs.push_back("https://s.example/map" + std::to_string(i) + ".xml");
            result.body = sitemapIndex(locs);
        } else {
            result.body = urlset({{address + "/page", ""}});
        }
        return result;
    };
    EXPECT_THROW(app::readSitemap("https://s.example/index.xml", fetch), app::ESitemapError);
    EXPECT_EQ(fetched, app::kMaxSitemaps);
}

TEST_F(Sitemap, AWebIndexNamesWebSitemapsOnly)
{
    std::vector<std::string> asked;
    std::string local = write("local.xml", urlset({{"https://s.example/secret", ""}}));
    app::Fetcher fetch = [&](const std::string& address, size_t) {
        asked.push_back(address);
        app::FetchResult result;
        result.status = 200;
        if (address == "https://s.example/maps/index.xml")
            result.body = sitemapIndex({"part.xml", "/root.xml"});
        else if (address == "https://s.example/bad.xml")
            result.body = sitemapIndex({"file://" + local});
        else
            result.body = urlset({{address + "#page", ""}});
        return result;
    };
    Pages pages;
    app::mergeSitemapPages(pages, app::readSitemap("https://s.example/maps/index.xml", fetch));
    EXPECT_EQ(pages,
              (Pages{"https://s.example/maps/part.xml#page", "https://s.example/root.xml#page"}));
    EXPECT_THROW(app::readSitemap("https://s.example/bad.xml", fetch), app::ESitemapError);
    EXPECT_EQ(asked.back(), "https://s.example/bad.xml");
}

TEST_F(Sitemap, FetchFailuresAndOversizedAnswersAreErrors)
{
    struct Case {
        app::FetchResult answer;
        const char* error;
    };
    const Case cases[] = {
        {{0, 404, "Not Found", "", "<html/>"}, "cannot be fetched: HTTP 404 Not Found"},
        {{10061, 404, "", "Connection refused", ""}, "cannot be fetched: Connection refused"},
        {{0, 200, "OK", "", std::string(app::kMaxSitemapBytes + 1, ' ')}, "larger than 50 MB"},
    };
    for (const Case& c : cases) {
        app::Fetcher fetch = [&](const std::string&, size_t maxBytes) {
            EXPECT_EQ(maxBytes, app::kMaxSitemapBytes);
            return c.answer;
        };
        try {
            app::readSitemap("http://s.example/sitemap.xml", fetch);
            ADD_FAILURE() << c.error << ": no error";
        } catch (const app::ESitemapError& error) {
            EXPECT_NE(std::string(error.what()).find(c.error), std::string::npos) << error.what();
        }
    }
}

} // namespace
