#pragma once

#include <string>

// The link of a run of text or an image: the HREF as written in the page and
// its TARGET. The viewer marks it visited.
struct TUrlTarget {
    std::string Url;
    std::string Target;
    bool Visited = false;
};
