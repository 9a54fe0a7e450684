#pragma once

// File-name arithmetic of the engine: the last component of a path and its
// extension. A dot in a folder name is not an extension.

#include <string>

namespace dbf {

inline std::string baseName(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

inline bool hasExtension(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

// Replaces (or adds) the extension of a path; an empty extension removes it.
inline std::string withExtension(const std::string& path, const std::string& extension)
{
    return (hasExtension(path) ? path.substr(0, path.rfind('.')) : path) + extension;
}

// The path as given when it has an extension, else with `extension` added.
inline std::string withDefaultExtension(const std::string& path, const std::string& extension)
{
    return hasExtension(path) ? path : path + extension;
}

} // namespace dbf
