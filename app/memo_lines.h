#pragma once

#include <QString>
#include <string>
#include <vector>

class QPlainTextEdit;

// Lines of a multi-line text box in the program's 8-bit text. A line break
// at the very end of the text does not start another line, so a box whose
// last line was ended with Enter holds the same lines as one without.
namespace app {

std::vector<std::string> memoLines(const QPlainTextEdit* box);
void setMemoLines(QPlainTextEdit* box, const std::vector<std::string>& lines);

std::vector<std::string> textLines(const QString& text);

} // namespace app
