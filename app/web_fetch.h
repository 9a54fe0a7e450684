#pragma once

#include "fetch.h"

class THttpCli;

namespace app {

// Fetches the address with the client's synchronous Get (the event loop
// runs meanwhile), keeping at most maxBytes + 1 bytes of the body: a longer
// answer is aborted there. An HTTP error status is a result, not an
// exception. The client's handlers and received-data stream are restored
// afterwards.
FetchResult fetchWithClient(THttpCli& client, const std::string& address, size_t maxBytes);

// A Fetcher over fetchWithClient; the client must outlive it.
Fetcher clientFetcher(THttpCli& client);

} // namespace app
