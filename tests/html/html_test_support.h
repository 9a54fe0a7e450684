#pragma once

#include "html/document/section.h"
#include "html/document/section_list.h"

#include <memory>
#include <string>
#include <vector>

// Parses HTML into a document set up like a fresh viewer (images off).
std::unique_ptr<TSectionList> parseHtml(const std::string& html);
// Parses and lays out for a layout width.
std::unique_ptr<TSectionList> layoutHtml(const std::string& html, int width = 780);

// Every TSection of the document in order, table cells included.
std::vector<TSection*> allSections(TCell& cell);
// The text of a section with placeholders written as "{obj}".
std::string sectionText(const TSection& section);
// The texts of all sections.
std::vector<std::string> sectionTexts(TCell& cell);
