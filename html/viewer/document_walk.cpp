#include "html/viewer/document_walk.h"

#include "html/document/cell.h"
#include "html/document/html_table.h"

namespace html_viewer {

void ForEachBlock(TCell& cell, const std::function<void(TSectionBase&)>& visit)
{
    for (const auto& block : cell.Blocks()) {
        visit(*block);
        if (auto* table = dynamic_cast<ThtmlTable*>(block.get()))
            table->ForEachCell([&visit](TCell& inner) { ForEachBlock(inner, visit); });
    }
}

} // namespace html_viewer
