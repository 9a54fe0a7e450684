#include "engines_list.h"

#include "engine_line.h"
#include "indexnow.h"

#include "platform/ansi.h"
#include "platform/program_folder.h"
#include "platform/text_file.h"

#include <algorithm>
#include <QCollator>
#include <QFileInfo>
#include <QLocale>

namespace app {

Lines defaultEngineLines()
{
    return {
        "GEThttp://search.example.org/cgi-bin/newurl?ad=1&q=##url",
        "GEThttp://find.example.com/addurl?q=##url&dq=",
        "GEThttp://portal.example.net/addurl.asp?MM=1"
        "&success_page=http://portal.example.net/addurl.asp"
        "&failure_page=http://portal.example.net/help/oops.asp"
        "&ACTION=subscribe&SOURCE=hotbot&LIST=hotbot-addurl&ip=192.0.2.17"
        "&redirect=http://portal.example.net/addurl2.html"
        "&newurl=##url&email=##email&send=Add%20my%20URL",
        "GEThttp://crawler.example.org/cgi-bin/spider_now.pl?query=##url&email=##email",
        "POSThttp://directory.example.com/cgi-bin/urlsubmit.pl"
        "?page=##url&contact=##name&email=##email&sb.x=45&sb.y=10",
    };
}

QString defaultEnginesFilePath()
{
    return platform::programFolder() + kEnginesFileName;
}

Lines sortedEngineLines(Lines lines)
{
    // The C locale has no collation of its own (the collator then compares
    // code points and ignores the case setting), so plain case-insensitive
    // comparison stands in for it.
    QLocale locale = QLocale::system();
    bool plain = locale.language() == QLocale::C;
    QCollator collator(locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<std::pair<QString, size_t>> keys;
    keys.reserve(lines.size());
    for (size_t i = 0; i < lines.size(); ++i)
        keys.emplace_back(platform::fromAnsi(lines[i]), i);
    std::stable_sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
        return plain ? a.first.compare(b.first, Qt::CaseInsensitive) < 0
                     : collator.compare(a.first, b.first) < 0;
    });
    Lines sorted;
    sorted.reserve(lines.size());
    for (const auto& key : keys)
        sorted.push_back(std::move(lines[key.second]));
    return sorted;
}

Lines readEnginesFile(const QString& path)
{
    return platform::readTextLines(path);
}

void saveEnginesFile(const QString& path, const Lines& lines)
{
    platform::writeTextLines(path, sortedEngineLines(lines));
}

Lines runnableEngineLines(const Lines& lines)
{
    Lines runnable;
    for (const std::string& line : lines) {
        if (!isBlankEngineLine(line))
            runnable.emplace_back(trimEngineLine(line));
    }
    return runnable;
}

Lines loadStartupEngines(const QString& path, const Lines& defaults)
{
    writeIndexNowList(QFileInfo(path).absolutePath());
    if (QFileInfo::exists(path))
        return readEnginesFile(path);
    platform::writeTextLines(path, defaults);
    return defaults;
}

bool writeIndexNowList(const QString& folder)
{
    const QString path = folder + '/' + kIndexNowListFileName;
    if (QFileInfo::exists(path))
        return true;
    try {
        platform::writeTextLines(path, {std::string(kIndexNowDefaultLine)});
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

} // namespace app
