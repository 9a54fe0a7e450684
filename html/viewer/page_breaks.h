#pragma once

#include <vector>

class TSectionList;

namespace html_viewer {

// Where the printed pages of a laid-out document end: the document y at
// which each page stops (the next one starts there), the last being the
// document's height; at least one page, even for an empty document. A page
// is at most pageHeight high. It ends above a line of text, a picture or a
// rule rather than through it, unless that alone is taller than a page, and
// it ends early at a page break (PAGE).
std::vector<int> PageBottoms(TSectionList& document, int pageHeight);

} // namespace html_viewer
