#include "profile.h"

#include "platform/ansi.h"
#include "platform/text_file.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

namespace app {
namespace {

constexpr std::string_view kEncodedSpace = "%20";
constexpr size_t kDateLine = 2; // zero-based index of line 3
constexpr const char* kProfileSuffix = "ini";

std::string replaceAll(std::string_view text, std::string_view from, std::string_view to)
{
    std::string result;
    result.reserve(text.size());
    size_t start = 0;
    for (size_t at = text.find(from); at != std::string_view::npos; at = text.find(from, start)) {
        result.append(text.substr(start, at - start));
        result.append(to);
        start = at + from.size();
    }
    result.append(text.substr(start));
    return result;
}

} // namespace

std::string sacaesp(std::string_view text)
{
    return replaceAll(text, " ", kEncodedSpace);
}

std::string poneesp(std::string_view text)
{
    return replaceAll(text, kEncodedSpace, " ");
}

std::vector<std::string> Profile::lines() const
{
    std::vector<std::string> result{email, name, lastDate};
    result.insert(result.end(), pages.begin(), pages.end());
    return result;
}

Profile Profile::fromLines(const std::vector<std::string>& lines)
{
    Profile profile;
    auto line = [&](size_t i) { return i < lines.size() ? lines[i] : std::string(); };
    profile.email = line(0);
    profile.name = line(1);
    profile.lastDate = line(kDateLine);
    if (lines.size() > kDateLine + 1)
        profile.pages.assign(lines.begin() + kDateLine + 1, lines.end());
    return profile;
}

Profile readProfile(const QString& path)
{
    return Profile::fromLines(platform::readTextLines(path));
}

void writeProfile(const QString& path, const Profile& profile)
{
    platform::writeTextLines(path, profile.lines());
}

QString profileSavePath(const QString& path)
{
    // Only the file name is lower-cased: folders on this system are case
    // sensitive, and lower-casing them would aim at another folder.
    QFileInfo info(path);
    QString name = info.fileName().toLower();
    qsizetype dot = name.lastIndexOf('.');
    QString suffix = dot < 0 ? QString() : name.mid(dot + 1);
    if (suffix != kProfileSuffix)
        name = (dot < 0 ? name : name.left(dot)) + '.' + kProfileSuffix;
    qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? name : path.left(slash + 1) + name;
}

QString existingProfileFor(const QString& path)
{
    const QFileInfo typed(path);
    if (typed.isFile())
        return path;
    const QDir folder = typed.absoluteDir();
    QStringList wanted{typed.fileName()};
    if (typed.suffix().compare(kProfileSuffix, Qt::CaseInsensitive) != 0)
        wanted << typed.fileName() + '.' + kProfileSuffix;
    wanted << QFileInfo(profileSavePath(path)).fileName();
    const QStringList present = folder.entryList(QDir::Files | QDir::Hidden);
    for (const QString& name : wanted) {
        for (const QString& file : present) {
            if (file.compare(name, Qt::CaseInsensitive) == 0)
                return folder.filePath(file);
        }
    }
    return {};
}

bool updateProfileDate(const QString& path, const std::string& dateText)
{
    std::vector<std::string> lines = platform::readTextLines(path);
    if (lines.size() <= kDateLine)
        return false;
    lines[kDateLine] = dateText;
    platform::writeTextLines(path, lines);
    return true;
}

QString shortDateFormat()
{
    QString format = qEnvironmentVariable("QUORVANE_DATE_FORMAT");
    if (format.isEmpty())
        format = QLocale::system().dateFormat(QLocale::ShortFormat);
    return format;
}

std::string shortDateText(const QDate& date)
{
    return platform::toAnsi(QLocale::system().toString(date, shortDateFormat()));
}

} // namespace app
