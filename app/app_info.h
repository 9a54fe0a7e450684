#pragma once

// The program's name and version as the user sees them.
namespace app {

inline constexpr const char* kApplicationTitle = "Quorvane";
inline constexpr const char* kVersion = "1.04";

} // namespace app
