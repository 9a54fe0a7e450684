#include "app/retry_policy.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

const QDateTime kNow(QDate(2026, 12, 8), QTime(14, 0, 0), Qt::UTC);

TEST(RetryPolicy, RetriesSettingDefaultsToTwoAndIsClamped)
{
    struct Case {
        const char* text;
        int retries;
    };
    const Case cases[] = {{"", 2}, {"abc", 2}, {"0", 0}, {" 5 ", 5}, {"-3", 0}, {"99", 10}};
    for (const Case& c : cases)
        EXPECT_EQ(app::retriesSetting(c.text), c.retries) << c.text;
}

TEST(RetryPolicy, OnlyBusyServersAndPassingTransportFailuresAreRetried)
{
    struct Case {
        uint16_t error;
        int status;
        bool retried;
    };
    const Case cases[] = {
        {0, 429, true},     {0, 503, true},      {0, 200, false},  {0, 202, false},
        {0, 500, false},    {0, 404, false},     {0, 403, false},  {10060, 404, true},
        {10061, 404, true}, {10054, 0, true},    {10065, 0, true}, {11001, 404, false},
        {3, 404, false},    {10022, 404, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(app::isRetryable(c.error, c.status), c.retried) << c.error << " " << c.status;
}

TEST(RetryPolicy, RetryAfterInSecondsOrAsAnHttpDate)
{
    struct Case {
        const char* value;
        std::optional<std::chrono::seconds> wait;
    };
    const Case cases[] = {
        {"1", 1s},
        {" 120 ", 120s},
        {"0", 0s},
        {"99999999999999999999", app::kMaxRetryWait},
        {"Tue, 08 Dec 2026 14:00:30 GMT", 30s},
        {"Tuesday, 08-Dec-26 14:01:00 GMT", 60s},
        {"Tue Dec  8 14:02:00 2026", 120s},
        {"Tue, 08 Dec 2026 13:00:00 GMT", 0s}, // already past
        {"-5", std::nullopt},
        {"soon", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(app::parseRetryAfter(c.value, kNow), c.wait) << c.value;
}

TEST(RetryPolicy, HeaderValueIsFoundWhateverTheCase)
{
    const std::vector<std::string> header = {"HTTP/1.0 429 Too Many Requests",
                                             "Content-Type: text/plain", "retry-after:  7 "};
    EXPECT_EQ(app::headerValue(header, "Retry-After"), "7");
    EXPECT_EQ(app::headerValue(header, "Location"), std::nullopt);
}

TEST(RetryPolicy, BackoffDoublesWithJitterAndIsCapped)
{
    struct Case {
        int retry;
        double random;
        std::chrono::milliseconds wait;
    };
    const Case cases[] = {
        {1, 0.5, 2000ms},
        {2, 0.5, 4000ms},
        {3, 0.5, 8000ms},
        {1, 0.0, 1500ms},
        {1, 0.999, 2499ms},
        {2, 1.0, 5000ms},
        {20, 0.5, app::kMaxRetryWait},
    };
    for (const Case& c : cases)
        EXPECT_EQ(app::backoffWait(c.retry, c.random), c.wait) << c.retry << " " << c.random;
}

TEST(RetryPolicy, DecisionUsesRetryAfterThenBackoffWithinTheRetryBudget)
{
    const app::RandomSource middle = [] { return 0.5; };
    struct Case {
        const char* what;
        app::AttemptOutcome outcome;
        int attemptsMade;
        int retries;
        bool retry;
        std::chrono::milliseconds wait;
    };
    const Case cases[] = {
        {"429 with Retry-After", {0, 429, {"Retry-After: 1"}}, 1, 2, true, 1000ms},
        {"503 without header backs off", {0, 503, {}}, 1, 2, true, 2000ms},
        {"second retry backs off longer", {0, 503, {}}, 2, 2, true, 4000ms},
        {"budget spent", {0, 429, {"Retry-After: 1"}}, 3, 2, false, 0ms},
        {"no retries configured", {0, 429, {}}, 1, 0, false, 0ms},
        {"unreadable Retry-After backs off", {0, 429, {"Retry-After: later"}}, 1, 2, true, 2000ms},
        {"long Retry-After is capped", {0, 429, {"Retry-After: 3600"}}, 1, 2, true, 600000ms},
        {"time-out backs off", {10060, 404, {"Retry-After: 1"}}, 1, 2, true, 2000ms},
        {"success is final", {0, 200, {}}, 1, 2, false, 0ms},
        {"a refusal is final", {0, 403, {"Retry-After: 1"}}, 1, 2, false, 0ms},
    };
    for (const Case& c : cases) {
        app::RetryDecision d = app::decideRetry(c.outcome, c.attemptsMade, c.retries, kNow, middle);
        EXPECT_EQ(d.retry, c.retry) << c.what;
        EXPECT_EQ(d.wait, c.wait) << c.what;
    }
}

} // namespace
