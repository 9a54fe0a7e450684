#include "html_test_support.h"

#include "html/document/html_table.h"
#include "html/parser/html_parser.h"
#include "html/render/document_renderer.h"

namespace html {
std::string dumpText(const std::string& buff, int from, int to);
}

std::unique_ptr<TSectionList> parseHtml(const std::string& html)
{
    auto doc = std::make_unique<TSectionList>();
    html::applyViewerDefaults(*doc);
    THtmlParser parser(*doc);
    parser.ParseHTML(html);
    return doc;
}

std::unique_ptr<TSectionList> layoutHtml(const std::string& html, int width)
{
    auto doc = parseHtml(html);
    doc->DoLogic(width);
    return doc;
}

namespace {

// Table rows are private; walk them through the dump-free public surface by
// visiting each block type we know.
void collect(TCell& cell, std::vector<TSection*>& out);

} // namespace

std::vector<TSection*> allSections(TCell& cell)
{
    std::vector<TSection*> out;
    collect(cell, out);
    return out;
}

std::string sectionText(const TSection& section)
{
    return html::dumpText(section.Buff, 0, static_cast<int>(section.Buff.size()));
}

std::vector<std::string> sectionTexts(TCell& cell)
{
    std::vector<std::string> out;
    for (TSection* s : allSections(cell))
        out.push_back(sectionText(*s));
    return out;
}

namespace {

void collect(TCell& cell, std::vector<TSection*>& out)
{
    for (const auto& block : cell.Blocks()) {
        if (auto* section = dynamic_cast<TSection*>(block.get()))
            out.push_back(section);
        else if (auto* table = dynamic_cast<ThtmlTable*>(block.get()))
            table->ForEachCell([&](TCell& c) { collect(c, out); });
    }
}

} // namespace
