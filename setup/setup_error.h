#pragma once

#include <QString>
#include <stdexcept>

namespace setup {

// A failed installation step: a file that cannot be opened, created or
// written. The message names the file.
class SetupError : public std::runtime_error {
public:
    explicit SetupError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

} // namespace setup
