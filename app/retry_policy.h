#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <QDateTime>
#include <QString>
#include <string>
#include <string_view>
#include <vector>

class RegistryStore;

// When a request is sent again, and after how long. Servers that are busy
// say so (429 Too Many Requests, 503 Service Unavailable), often with a
// "Retry-After" header; time-outs and refused or broken connections are
// usually passing too. Everything else is final. These are pure functions:
// the caller owns the clock, the random source and the waiting, so that a
// wait can be shown and cancelled.
namespace app {

// How many more times a request is tried when the registry says nothing.
inline constexpr int kDefaultRetries = 2;
// More than this is taken as this: a larger value would only hammer a
// server that keeps refusing.
inline constexpr int kMaxRetries = 10;
inline constexpr std::chrono::seconds kFirstBackoff{2};
inline constexpr std::chrono::seconds kMaxRetryWait{600};

// The "Retries" registry text as a number: kDefaultRetries when empty or
// not a whole number, otherwise clamped to 0..kMaxRetries.
int retriesSetting(const QString& text);
// The registry's "Retries" value, read through retriesSetting.
int readRetries(RegistryStore& store);

// True for outcomes worth another attempt: an answer 429 or 503 (error 0),
// a time-out, or a connection that was refused, reset, or found no route.
bool isRetryable(uint16_t error, int status);

// The value of the first header line of that name (case-insensitive), with
// surrounding blanks removed; nothing when there is none.
std::optional<std::string> headerValue(const std::vector<std::string>& headerLines,
                                       std::string_view name);

// The wait a "Retry-After" value asks for: whole seconds, or an HTTP date
// ("Wed, 21 Oct 2026 07:28:00 GMT") taken relative to now (a date already
// past asks for no wait). Nothing when the value is neither.
std::optional<std::chrono::seconds> parseRetryAfter(std::string_view value, const QDateTime& now);

// The exponential back-off before retry number `retry` (1 for the first):
// 2 s, 4 s, 8 s, ... times a jitter factor of 0.75 to 1.25 taken from
// `random` (0 to 1), so that many clients refused at once do not come back
// at once.
std::chrono::milliseconds backoffWait(int retry, double random);

// How one attempt ended, as the run sees it.
struct AttemptOutcome {
    uint16_t error = 0; // transport code, 0 when the server answered
    int status = 0;     // HTTP status when it answered
    std::vector<std::string> headerLines;
};

struct RetryDecision {
    bool retry = false;
    std::chrono::milliseconds wait{0};
};

// Random numbers from 0 (included) to 1 (excluded).
using RandomSource = std::function<double()>;
// A random source seeded from the system.
RandomSource systemRandomSource();

// Whether to try again after `attemptsMade` attempts (1 after the first),
// with at most `retries` retries, and how long to wait first: the server's
// Retry-After when it gave a readable one, else the back-off; never more
// than kMaxRetryWait.
RetryDecision decideRetry(const AttemptOutcome& outcome, int attemptsMade, int retries,
                          const QDateTime& now, const RandomSource& random);

// What a waiting run shows: "429 Too Many Requests: trying again in 4 s
// (attempt 2 of 3)". `what` names the outcome (a status text or a failure).
std::string retryWaitText(std::string_view what, std::chrono::milliseconds wait, int nextAttempt,
                          int totalAttempts);

} // namespace app
