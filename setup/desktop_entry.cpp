#include "setup/desktop_entry.h"

#include "setup/setup_error.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace setup {

namespace {

constexpr char kGroupHeader[] = "[Desktop Entry]";

// Characters that force an Exec argument into double quotes.
bool needsQuotes(const QString& argument)
{
    static const QString kReserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    for (QChar c : argument) {
        if (kReserved.contains(c))
            return true;
    }
    return argument.isEmpty();
}

// Escapes a string value of a .desktop file.
QString escapeString(const QString& value)
{
    QString out;
    for (QChar c : value) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

QString unescapeString(const QString& text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        QChar c = text[i];
        if (c != '\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        QChar next = text[++i];
        if (next == 's')
            out += ' ';
        else if (next == 'n')
            out += '\n';
        else if (next == 't')
            out += '\t';
        else if (next == 'r')
            out += '\r';
        else
            out += next;
    }
    return out;
}

} // namespace

DesktopEntry::DesktopEntry(QString name, QString target)
    : m_name(std::move(name)), m_target(std::move(target))
{
}

QString DesktopEntry::fileName(const QString& groupFolder, const QString& name)
{
    return groupFolder + '/' + name + ".desktop";
}

QString DesktopEntry::exec() const
{
    QString argument = m_target;
    // A lone percent sign would start a field code.
    argument.replace('%', "%%");
    if (!needsQuotes(argument))
        return argument;
    QString quoted = "\"";
    for (QChar c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

QString DesktopEntry::path() const
{
    return QFileInfo(m_target).absolutePath();
}

QByteArray DesktopEntry::contents() const
{
    QString text;
    text += QString(kGroupHeader) + '\n';
    text += "Type=Application\n";
    text += "Name=" + escapeString(m_name) + '\n';
    text += "Exec=" + escapeString(exec()) + '\n';
    text += "Path=" + escapeString(path()) + '\n';
    text += "Terminal=false\n";
    return text.toUtf8();
}

void DesktopEntry::save(const QString& file) const
{
    QSaveFile out(file);
    const QByteArray bytes = contents();
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        throw SetupError(QString("Cannot create file %1").arg(file));
}

bool DesktopEntry::isSavedIn(const QString& file) const
{
    const std::map<QString, QString> keys = read(file);
    auto execKey = keys.find("Exec");
    auto pathKey = keys.find("Path");
    return execKey != keys.end() && execKey->second == exec() && pathKey != keys.end() &&
           pathKey->second == path();
}

std::map<QString, QString> DesktopEntry::read(const QString& file)
{
    std::map<QString, QString> keys;
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return keys;
    bool inGroup = false;
    const QList<QByteArray> lines = in.readAll().split('\n');
    for (const QByteArray& raw : lines) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (line.startsWith('[')) {
            inGroup = line == kGroupHeader;
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (inGroup && eq > 0)
            keys[line.left(eq).trimmed()] = unescapeString(line.mid(eq + 1).trimmed());
    }
    return keys;
}

} // namespace setup
