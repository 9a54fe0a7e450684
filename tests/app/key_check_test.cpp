#include "app/key_check.h"

#include <gtest/gtest.h>
#include <map>

namespace {

const std::string kKey = "5e4d3c2b1a0f9e8d7c6b5a4f3e2d1c0b";

app::FetchResult answer(int status, std::string reason, std::string body)
{
    app::FetchResult result;
    result.status = status;
    result.reason = std::move(reason);
    result.body = std::move(body);
    return result;
}

app::FetchResult transportFailure(uint16_t error, std::string failure)
{
    app::FetchResult result;
    result.error = error;
    result.status = 404;
    result.failure = std::move(failure);
    return result;
}

TEST(KeyCheck, OneLinePerHostTellsWhatItsKeyFileHolds)
{
    std::map<std::string, app::FetchResult> site = {
        {"https://good.example/" + kKey + ".txt", answer(200, "OK", kKey)},
        {"https://crlf.example/" + kKey + ".txt",
         answer(200, "OK", "\xEF\xBB\xBF" + kKey + "\r\n")},
        {"https://gone.example/" + kKey + ".txt", answer(404, "Not Found", "<html>gone</html>")},
        {"https://other.example/" + kKey + ".txt", answer(200, "OK", "0000" + kKey)},
        {"https://shut.example/" + kKey + ".txt", answer(403, "Forbidden", "")},
        {"https://down.example:8443/" + kKey + ".txt",
         transportFailure(10061, "can't connect: Connection refused (Error #10061)")},
    };
    std::vector<std::string> asked;
    app::Fetcher fetch = [&](const std::string& address, size_t) {
        asked.push_back(address);
        return site.at(address);
    };
    const std::vector<std::string> pages = {
        "https://good.example/a",
        "http://good.example/b%20c",
        "https://crlf.example/",
        "https://gone.example/x",
        "",
        "https://Other.example/y",
        "https://shut.example/z",
        "http://down.example:8443/",
        "not-a-page",
    };
    std::vector<std::string> lines;
    std::vector<bool> good;
    for (const app::KeyCheckLine& line : app::checkKey(pages, kKey, fetch)) {
        lines.push_back(line.line());
        good.push_back(line.good);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "good.example: key found",
                         "crlf.example: key found",
                         "gone.example: key file missing (HTTP 404)",
                         "other.example: key file holds another key",
                         "shut.example: key file not served (HTTP 403 Forbidden)",
                         "down.example:8443: can't connect: Connection refused (Error #10061)",
                     }));
    EXPECT_EQ(good, (std::vector<bool>{true, true, false, false, false, false}));
    EXPECT_EQ(asked.size(), 6u); // each host once
}

} // namespace
