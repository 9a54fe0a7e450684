#include "app/engine_line.h"
#include "app/engines_list.h"
#include "app/indexnow.h"
#include "app/request_status.h"

#include "platform/registry_store.h"
#include "platform/text_file.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <set>

namespace {

TEST(IndexNowKey, GeneratedKeysAre32LowerCaseHexCharactersAndDiffer)
{
    std::set<std::string> seen;
    for (int i = 0; i < 20; ++i) {
        std::string key = app::generateIndexNowKey();
        EXPECT_EQ(key.find_first_not_of("0123456789abcdef"), std::string::npos) << key;
        EXPECT_EQ(key.size(), 32u) << key;
        EXPECT_TRUE(app::isValidIndexNowKey(key));
        seen.insert(key);
    }
    EXPECT_EQ(seen.size(), 20u);
}

TEST(IndexNowKey, ValidationAcceptsOnlyEightTo128LettersDigitsAndDashes)
{
    struct Case {
        std::string key;
        bool valid;
    };
    const Case cases[] = {
        {"abcdefgh", true},
        {"abcdefg", false},
        {std::string(128, 'a'), true},
        {std::string(129, 'a'), false},
        {"AbC-123-xYz", true},
        {"abc_defgh", false},
        {"abcd efgh", false},
        {"abcdefgh\n", false},
        {"abc\xe9"
         "defgh",
         false},
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(app::isValidIndexNowKey(c.key), c.valid) << c.key;
}

TEST(IndexNowKey, KeyPlaceholderExpandsAfterTheOthersAndOnlyOnce)
{
    struct Case {
        const char* line;
        const char* expected;
    };
    const Case cases[] = {
        {"GEThttps://api.indexnow.org/indexnow?url=##url&key=##key",
         "GEThttps://api.indexnow.org/indexnow?url=http://s/a%20b&key=K1"},
        {"GEThttp://x/?k=##key&k2=##key", "GEThttp://x/?k=K1&k2=##key"},
        // A "##key" inside an inserted page is the first one the step finds.
        {"GEThttp://x/?u=##url&k=##key", "GEThttp://x/?u=http://s/a%20b&k=K1"},
        {"POSThttp://x/?e=##email&n=##name", "POSThttp://x/?e=E&n=N"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(app::procesa(c.line, "http://s/a%20b", "E", "N", "K1"), c.expected) << c.line;
    EXPECT_EQ(app::procesa("GEThttp://x/?u=##url", "http://s/##key", "E", "N", "K1"),
              "GEThttp://x/?u=http://s/K1");
    // Lines without "##key" expand as they always did.
    const char* line = "GEThttp://x/?u=##url&e=##email&n=##name&u2=##url";
    EXPECT_EQ(app::procesa(line, "P", "E", "N", "K"), app::procesa(line, "P", "E", "N"));
}

TEST(IndexNowKey, StoredInTheRegistryOnlyWhenValid)
{
    QTemporaryDir folder;
    RegistryStore store(folder.filePath("registry.ini"));
    EXPECT_EQ(app::readIndexNowKey(store), "");
    EXPECT_FALSE(app::storeIndexNowKey(store, "short"));
    EXPECT_EQ(app::readIndexNowKey(store), "");
    EXPECT_TRUE(app::storeIndexNowKey(store, "Abc-12345678"));
    EXPECT_EQ(app::readIndexNowKey(store), "Abc-12345678");
    EXPECT_EQ(store.value("HKEY_LOCAL_MACHINE\\Software\\Tallmoor\\quorvane\\", "IndexNowKey"),
              "Abc-12345678");
}

TEST(IndexNowList, WrittenBesideTheEnginesListOnlyWhenMissing)
{
    QTemporaryDir folder;
    const QString engines = folder.path() + "/engines.txt";
    app::loadStartupEngines(engines, {"GEThttp://a/?u=##url"});
    const QString list = folder.path() + "/indexnow.txt";
    EXPECT_EQ(platform::readTextLines(list),
              std::vector<std::string>{"GEThttps://api.indexnow.org/indexnow?url=##url&key=##key"});

    platform::writeTextLines(list, {"GEThttp://mine/?u=##url"});
    app::loadStartupEngines(engines, {"GEThttp://a/?u=##url"});
    EXPECT_EQ(platform::readTextLines(list), std::vector<std::string>{"GEThttp://mine/?u=##url"});

    // A folder that cannot take the list is no reason to fail the start.
    EXPECT_FALSE(app::writeIndexNowList(folder.path() + "/no/such/folder"));
}

TEST(IndexNowLine, RecognisedByItsMethodWordInAnyCase)
{
    EXPECT_TRUE(app::isIndexNowLine("INDEXNOWhttps://api.indexnow.org/indexnow"));
    EXPECT_TRUE(app::isIndexNowLine("indexnowhttps://api.indexnow.org/indexnow"));
    EXPECT_TRUE(app::isIndexNowLine(" \tINDEXNOWhttps://e/ "));
    EXPECT_EQ(app::indexNowSubmission(" INDEXNOWhttps://e/x\t", {}, "k").endpoint, "https://e/x");
    EXPECT_FALSE(app::isIndexNowLine("GEThttps://api.indexnow.org/indexnow?url=##url"));
    EXPECT_FALSE(app::isIndexNowLine("INDEXNO"));
    EXPECT_EQ(
        app::indexNowSubmission("INDEXNOWhttps://api.indexnow.org/indexnow", {}, "k").endpoint,
        "https://api.indexnow.org/indexnow");
}

TEST(IndexNowLine, PageHostIsTheLowerCasedAuthorityWithoutCredentials)
{
    struct Case {
        const char* page;
        const char* host;
    };
    const Case cases[] = {
        {"https://WWW.Example.org/a?b#c", "www.example.org"},
        {"http://127.0.0.1:8443/x", "127.0.0.1:8443"},
        {"https://user:pw@site.example/", "site.example"},
        {"https://bare.example", "bare.example"},
        {"https://q.example?x=1", "q.example"},
        {"no-scheme.example/page", ""},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(app::pageHost(c.page), c.host) << c.page;
}

TEST(IndexNowBatch, BodyHoldsHostKeyKeyLocationAndTheUrlsExactly)
{
    app::IndexNowSubmission s = app::indexNowSubmission(
        "INDEXNOWhttps://api.indexnow.org/indexnow",
        {"https://www.example.org/a%20b.html", "", "https://www.example.org/c"}, "0123abcd");
    EXPECT_EQ(s.contentType, "application/json; charset=utf-8");
    ASSERT_EQ(s.batches.size(), 1u);
    EXPECT_EQ(s.batches[0].host, "www.example.org");
    EXPECT_EQ(
        s.batches[0].body,
        "{\"host\":\"www.example.org\",\"key\":\"0123abcd\","
        "\"keyLocation\":\"https://www.example.org/0123abcd.txt\","
        "\"urlList\":[\"https://www.example.org/a%20b.html\",\"https://www.example.org/c\"]}");
    EXPECT_EQ(s.batches[0].pages, (std::vector<std::string>{"https://www.example.org/a%20b.html",
                                                            "https://www.example.org/c"}));
}

TEST(IndexNowBatch, HostsGetTheirOwnBatchesInOrderOfFirstAppearance)
{
    app::IndexNowSubmission s = app::indexNowSubmission(
        "INDEXNOWhttps://e/indexnow",
        {"https://b.example/1", "https://a.example/1", "https://B.example/2", "not a page"},
        "keykeykey");
    ASSERT_EQ(s.batches.size(), 2u);
    EXPECT_EQ(s.batches[0].host, "b.example");
    EXPECT_EQ(s.batches[0].pages,
              (std::vector<std::string>{"https://b.example/1", "https://B.example/2"}));
    EXPECT_EQ(s.batches[1].host, "a.example");
    EXPECT_EQ(s.batches[1].pages, std::vector<std::string>{"https://a.example/1"});
}

TEST(IndexNowBatch, SplitsAfterTenThousandUrls)
{
    std::vector<std::string> pages;
    for (int i = 0; i < 10001; ++i)
        pages.push_back("https://s.example/p" + std::to_string(i));
    app::IndexNowSubmission s = app::indexNowSubmission("INDEXNOWhttps://e/", pages, "keykeykey");
    ASSERT_EQ(s.batches.size(), 2u);
    EXPECT_EQ(s.batches[0].pages.size(), 10000u);
    EXPECT_EQ(s.batches[0].pages.back(), "https://s.example/p9999");
    EXPECT_EQ(s.batches[1].pages, std::vector<std::string>{"https://s.example/p10000"});
    EXPECT_NE(s.batches[1].body.find("\"urlList\":[\"https://s.example/p10000\"]}"),
              std::string::npos);
}

TEST(IndexNowBatch, JsonEscapesQuotesBackslashesControlsAndConvertsToUtf8)
{
    struct Case {
        std::string text;
        std::string json;
    };
    const Case cases[] = {
        {"plain/path?a=1&b=2", "\"plain/path?a=1&b=2\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"back\\slash", "\"back\\\\slash\""},
        {"tab\tnew\nline\rcr", "\"tab\\tnew\\nline\\rcr\""},
        {std::string("nul\0x", 5), "\"nul\\u0000x\""},
        {"\x01\x1f", "\"\\u0001\\u001f\""},
        {"caf\xe9", "\"caf\xc3\xa9\""}, // Windows-1252 e-acute
        {"\x80", "\"\xe2\x82\xac\""},   // the euro sign
    };
    for (const Case& c : cases)
        EXPECT_EQ(app::jsonString(c.text), c.json) << c.text;
}

TEST(RequestStatus, MeaningsOfIndexNowStatuses)
{
    struct Case {
        int status;
        const char* meaning;
    };
    const Case cases[] = {
        {200, "URLs received"},
        {202, "Accepted, key validation pending"},
        {400, "Bad request"},
        {403, "Key not valid for this host"},
        {422, "URLs do not belong to the host, or the key does not match"},
        {429, "Too many requests: slow down"},
        {500, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(app::indexNowStatusMeaning(c.status), c.meaning) << c.status;
}

TEST(RequestStatus, TextForTheLogFitsFortyCharacters)
{
    struct Case {
        uint16_t error;
        int status;
        const char* reason;
        const char* failure;
        int attempts;
        const char* text;
    };
    const Case cases[] = {
        {0, 202, "Accepted", "", 1, "202 Accepted"},
        {0, 404, "", "", 1, "404"},
        {10060, 0, "", "Connection timed out", 1, "Connection timed out"},
        {10061, 404, "can't connect", "", 1, "Error #10061"},
        {0, 0, "", "", 1, "answer without status line"},
        {0, 429, "Too Many Requests", "", 3, "429 Too Many Requests after 3 attempts"},
        {0, 200, "An unusually long reason phrase that goes on", "", 1,
         "200 An unusually long reason phrase that"},
        {0, 503, "Service Temporarily Unavailable", "", 3,
         "503 Service Temporarily after 3 attempts"},
    };
    for (const Case& c : cases) {
        std::string text = app::logStatusText(c.error, c.status, c.reason, c.failure, c.attempts);
        EXPECT_EQ(text, c.text);
        EXPECT_LE(text.size(), app::kStatusFieldWidth);
    }
}

} // namespace
