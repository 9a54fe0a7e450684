#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The short text that tells how one request ended, kept in the log's
// `status` field beside the server's answer: the final HTTP status and
// reason ("202 Accepted") or, when the exchange failed, the transport
// failure ("Connection timed out").
namespace app {

// Width of the log's status field.
inline constexpr size_t kStatusFieldWidth = 40;

// The status text of a finished request. error is the request's transport
// code (0: the server answered), status and reason its HTTP status line, and
// failure the text that describes a non-zero error. A request tried more
// than once says so at the end (" after 3 attempts"). The result is at most
// kStatusFieldWidth characters; a long reason is cut, the attempts suffix
// is kept.
std::string logStatusText(uint16_t error, int status, std::string_view reason,
                          std::string_view failure, int attempts = 1);

// " after N attempts" for more than one attempt, else empty.
std::string attemptsSuffix(int attempts);

} // namespace app
