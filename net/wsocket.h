#pragma once

#include "net/custom_sync_wsocket.h"

// The socket component the rest of the program uses: every property and
// event of the classes below it, published.
class TWSocket : public TCustomSyncWSocket {
public:
    TWSocket() = default;
};
