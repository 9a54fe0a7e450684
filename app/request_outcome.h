#pragma once

#include <cstdint>
#include <string>

class THttpCli;

// What one finished request means for the submission log: whether it
// succeeded and, for a failure, one line that says why.
namespace app {

// Most bytes of one answer the log keeps; the clients stop reading there.
inline constexpr int64_t kLoggedAnswerLimit = 1024 * 1024;

// The line a message cut at kLoggedAnswerLimit ends with.
inline constexpr const char* kAnswerCutLine =
    "[The answer was longer than 1 MiB and has been cut here.]";

// A success only when the exchange completed (error 0) and the final status
// is below 400, or the server sent a header-less "<HTML>" answer. A status
// of 400 or more (from the server or from a proxy), a relocation left
// unfollowed at the relocation limit, an answer without a status line, a
// time-out and every transport error are failures.
bool requestSucceeded(const THttpCli& client, uint16_t error);

// One line for a failed request: "Connection refused (Error #10061)" for a
// transport error, "HTTP 404 Not Found" for a refusal by status. Empty for
// a success.
std::string failureReason(const THttpCli& client, uint16_t error);

} // namespace app
