#include "memo_lines.h"

#include "platform/ansi.h"

#include <QPlainTextEdit>

namespace app {

std::vector<std::string> textLines(const QString& text)
{
    std::vector<std::string> lines;
    if (text.isEmpty())
        return lines;
    const QStringList parts = text.split('\n');
    for (const QString& part : parts)
        lines.push_back(platform::toAnsi(part));
    if (text.endsWith('\n'))
        lines.pop_back();
    return lines;
}

std::vector<std::string> memoLines(const QPlainTextEdit* box)
{
    return textLines(box->toPlainText());
}

void setMemoLines(QPlainTextEdit* box, const std::vector<std::string>& lines)
{
    QStringList parts;
    for (const std::string& line : lines)
        parts << platform::fromAnsi(line);
    box->setPlainText(parts.join('\n'));
}

} // namespace app
