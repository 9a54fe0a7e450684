#pragma once

#include <string>
#include <vector>

// The pages the program carries with it, as HTML lines: the help page, the
// guide to adding engines and the license. The help page links to the other
// two under the names addingengines.html and license.html.
namespace app {

inline constexpr const char* kAddingEnginesPage = "addingengines.html";
inline constexpr const char* kLicensePage = "license.html";
inline constexpr const char* kContactAddress = "quorvane@example.org";
inline constexpr const char* kWebSite = "http://www.example.org/quorvane/";

std::vector<std::string> helpPage();          // h1, "Help"
std::vector<std::string> addingEnginesPage(); // h2, "Adding Engines"
std::vector<std::string> licensePage();       // h3, "License Agreement"

} // namespace app
