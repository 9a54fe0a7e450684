#include "html/viewer/url_to_local_path.h"

#include "platform/ansi.h"

namespace {

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

void decodeEscapes(QString& s)
{
    for (;;) {
        const int at = s.indexOf(QLatin1Char('%'));
        if (at <= 0 || at + 2 >= s.size())
            return;
        const int high = hexValue(s[at + 1]);
        const int low = hexValue(s[at + 2]);
        if (high < 0 || low < 0)
            return;
        const char byte = static_cast<char>(high * 16 + low);
        s.replace(at, 3, platform::fromAnsi(std::string(1, byte)));
    }
}

bool isDriveSpec(const QString& s, int at)
{
    return at + 1 < s.size() && s[at].isLetter() &&
           (s[at + 1] == QLatin1Char('|') || s[at + 1] == QLatin1Char(':'));
}

} // namespace

QString UrlToLocalPath(const QString& S)
{
    QString s = S;
    decodeEscapes(s);
    if (!s.contains(QLatin1Char('/')))
        return s;
    const int three = s.indexOf(QLatin1String("file:///"), 0, Qt::CaseInsensitive);
    if (three >= 0) {
        // "file:///C|/dir" names a drive; "file:///tmp" the root folder.
        const int keep = isDriveSpec(s, three + 8) ? 8 : 7;
        s.remove(three, keep);
    } else {
        const int two = s.indexOf(QLatin1String("file://"), 0, Qt::CaseInsensitive);
        if (two >= 0)
            s.remove(two, 7);
    }
    s.replace(QLatin1Char('|'), QLatin1Char(':'));
    s.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return s;
}
