#pragma once

#include <string>
#include <vector>

namespace dbf {

// Verifies a table and its companions without trusting them: the header,
// the record count against the file size, the end marker, the deletion
// flags, every memo pointer, and for each index file a tree whose every
// node is reachable once, whose keys ascend, whose separators bound their
// subtrees, and which holds exactly the keys of the table's records.
// Returns an empty string when all is well, else a description of the
// first fault found.
std::string checkTable(const std::string& tablePath, const std::vector<std::string>& indexPaths);

} // namespace dbf
