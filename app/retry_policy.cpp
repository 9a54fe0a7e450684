#include "retry_policy.h"

#include "registry_keys.h"

#include "base/ascii.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <QLocale>
#include <random>

namespace app {
namespace {

constexpr int kTooManyRequests = 429;
constexpr int kServiceUnavailable = 503;

// Socket codes of failures that usually pass: time-out, refused, reset or
// aborted connections, a network or host out of reach, and a name server
// that asks to try again.
constexpr uint16_t kTransientErrors[] = {10060, 10061, 10054, 10053, 10050,
                                         10051, 10064, 10065, 11002};

// Jitter spreads each wait over nominal * [kJitterLow, kJitterLow + kJitterSpan).
constexpr double kJitterLow = 0.75;
constexpr double kJitterSpan = 0.5;
// Back-off doubles up to this exponent; later waits are capped anyway.
constexpr int kMaxDoublings = 16;

// The three date forms HTTP allows; senders should use the first. The
// weekday is dropped before parsing: it adds nothing, and a two-digit year
// would make it disagree with the century the parser assumes.
std::optional<QDateTime> parseHttpDate(std::string_view value)
{
    static const char* const kFormats[] = {
        "dd MMM yyyy hh:mm:ss 'GMT'", // IMF-fixdate: "Sun, 06 Nov 1994 08:49:37 GMT"
        "dd-MMM-yy hh:mm:ss 'GMT'",   // RFC 850: "Sunday, 06-Nov-94 08:49:37 GMT"
        "MMM d hh:mm:ss yyyy",        // asctime(): "Sun Nov  6 08:49:37 1994"
    };
    QString text =
        QString::fromLatin1(value.data(), static_cast<qsizetype>(value.size())).simplified();
    qsizetype weekdayEnd = text.indexOf(',');
    if (weekdayEnd < 0)
        weekdayEnd = text.indexOf(' ');
    text = text.mid(weekdayEnd + 1).trimmed();
    const QLocale c = QLocale::c();
    for (const char* format : kFormats) {
        QDateTime when = c.toDateTime(text, format);
        if (when.isValid()) {
            when.setTimeSpec(Qt::UTC);
            // Two-digit years of the old form mean this century.
            if (when.date().year() < 1970)
                when = when.addYears(100);
            return when;
        }
    }
    return std::nullopt;
}

} // namespace

int retriesSetting(const QString& text)
{
    bool ok = false;
    int value = text.trimmed().toInt(&ok);
    if (!ok)
        return kDefaultRetries;
    return std::clamp(value, 0, kMaxRetries);
}

int readRetries(RegistryStore& store)
{
    return retriesSetting(readRegKey(store, kPreferencesKey, kRetriesValue));
}

bool isRetryable(uint16_t error, int status)
{
    if (error == 0)
        return status == kTooManyRequests || status == kServiceUnavailable;
    return std::find(std::begin(kTransientErrors), std::end(kTransientErrors), error) !=
           std::end(kTransientErrors);
}

std::optional<std::string> headerValue(const std::vector<std::string>& headerLines,
                                       std::string_view name)
{
    for (const std::string& line : headerLines) {
        size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        if (base::equalsIgnoreCase(base::trimmed(std::string_view(line).substr(0, colon)), name))
            return base::trimmed(std::string_view(line).substr(colon + 1));
    }
    return std::nullopt;
}

std::optional<std::chrono::seconds> parseRetryAfter(std::string_view value, const QDateTime& now)
{
    const std::string held = base::trimmed(value);
    value = held;
    if (value.empty())
        return std::nullopt;
    if (std::all_of(value.begin(), value.end(),
                    [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; })) {
        // Anything beyond the cap waits the cap; keep the number small
        // enough not to overflow on the way.
        if (value.size() > 9)
            return kMaxRetryWait;
        return std::chrono::seconds(std::stoll(std::string(value)));
    }
    std::optional<QDateTime> when = parseHttpDate(value);
    if (!when)
        return std::nullopt;
    return std::chrono::seconds(std::max<qint64>(0, now.secsTo(*when)));
}

std::chrono::milliseconds backoffWait(int retry, double random)
{
    const int doublings = std::clamp(retry - 1, 0, kMaxDoublings);
    const double nominal = std::chrono::duration<double, std::milli>(kFirstBackoff).count() *
                           std::ldexp(1.0, doublings);
    const double factor = kJitterLow + kJitterSpan * std::clamp(random, 0.0, 1.0);
    const auto wait = std::chrono::milliseconds(std::llround(nominal * factor));
    return std::min<std::chrono::milliseconds>(wait, kMaxRetryWait);
}

RandomSource systemRandomSource()
{
    auto engine = std::make_shared<std::mt19937>(std::random_device{}());
    return [engine] { return std::uniform_real_distribution<double>(0.0, 1.0)(*engine); };
}

RetryDecision decideRetry(const AttemptOutcome& outcome, int attemptsMade, int retries,
                          const QDateTime& now, const RandomSource& random)
{
    RetryDecision decision;
    if (attemptsMade > retries || !isRetryable(outcome.error, outcome.status))
        return decision;
    decision.retry = true;
    std::optional<std::chrono::seconds> asked;
    if (outcome.error == 0) {
        if (std::optional<std::string> value = headerValue(outcome.headerLines, "Retry-After"))
            asked = parseRetryAfter(*value, now);
    }
    decision.wait = asked ? std::chrono::milliseconds(*asked)
                          : backoffWait(attemptsMade, random ? random() : 0.5);
    decision.wait = std::min<std::chrono::milliseconds>(decision.wait, kMaxRetryWait);
    return decision;
}

std::string retryWaitText(std::string_view what, std::chrono::milliseconds wait, int nextAttempt,
                          int totalAttempts)
{
    // Whole seconds, rounded up, so a wait never reads "0 s".
    const long long seconds = (wait.count() + 999) / 1000;
    return std::string(what) + ": trying again in " + std::to_string(seconds) + " s (attempt " +
           std::to_string(nextAttempt) + " of " + std::to_string(totalAttempts) + ")";
}

} // namespace app
