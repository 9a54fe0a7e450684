#pragma once

#include <functional>

class TCell;
class TSectionBase;

namespace html_viewer {

// Visits every block of a cell in document order, going into the cells
// (and captions) of tables, so that whatever stands inside a table is found
// as well as what stands in the body.
void ForEachBlock(TCell& cell, const std::function<void(TSectionBase&)>& visit);

} // namespace html_viewer
