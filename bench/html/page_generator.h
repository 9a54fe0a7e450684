#pragma once

#include <cstddef>
#include <string>

// A made-up page of about the given size that mixes what submission pages
// and help pages hold: headings, paragraphs with links and styles, lists,
// tables with coloured cells and spans, and forms. The same seed gives the
// same page.
std::string generatePage(std::size_t bytes, unsigned seed = 1);
