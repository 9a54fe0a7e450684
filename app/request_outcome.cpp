#include "request_outcome.h"

#include "net/http_cli.h"
#include "net/socket_error.h"

namespace app {

bool requestSucceeded(const THttpCli& client, uint16_t error)
{
    if (error != 0)
        return false;
    if (client.HeaderlessAnswer())
        return true;
    const int32_t status = client.StatusCode();
    return status >= 100 && status < 400 && !client.RelocationLimitReached();
}

std::string failureReason(const THttpCli& client, uint16_t error)
{
    if (requestSucceeded(client, error))
        return {};
    if (error == THttpCli::kErrorAborted)
        return client.ReasonPhrase();
    if (error != 0)
        return SocketErrorDesc(error) + " (Error #" + std::to_string(error) + ")";
    if (client.StatusCode() == 0)
        return "No HTTP status in the answer";
    std::string line = "HTTP " + std::to_string(client.StatusCode());
    if (!client.ReasonPhrase().empty())
        line += " " + client.ReasonPhrase();
    if (client.RelocationLimitReached())
        line += " (too many relocations)";
    return line;
}

} // namespace app
