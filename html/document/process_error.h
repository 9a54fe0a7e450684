#pragma once

#include "platform/exception.h"

// The document cannot be laid out ("Table has too many Columns").
class EProcessError : public Exception {
public:
    using Exception::Exception;
};

// The off-screen image for painting could not be created.
class EOutOfResources : public Exception {
public:
    using Exception::Exception;
};
