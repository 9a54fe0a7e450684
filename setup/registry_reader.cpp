#include "setup/registry_reader.h"

#include <QDir>
#include <QFile>

namespace setup {

namespace {

QString unescapeValue(const QString& text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        QChar c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            QChar next = text[++i];
            out += next == 'n' ? QChar('\n') : next == 'r' ? QChar('\r') : next;
        } else {
            out += c;
        }
    }
    return out;
}

QString normalisedKey(QString key)
{
    while (key.endsWith('\\'))
        key.chop(1);
    return key;
}

} // namespace

RegistryReader::RegistryReader() : m_filePath(defaultFilePath()) {}

RegistryReader::RegistryReader(QString filePath) : m_filePath(std::move(filePath)) {}

QString RegistryReader::defaultFilePath()
{
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty())
        configHome = QDir::homePath() + "/.config";
    return configHome + "/quorvane/registry.ini";
}

QString RegistryReader::value(const QString& key, const QString& name) const
{
    QFile file(m_filePath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString wanted = normalisedKey(key);
    bool inKey = false;
    QString found;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray& raw : lines) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(';'))
            continue;
        if (line.startsWith('[') && line.endsWith(']')) {
            inKey =
                normalisedKey(line.mid(1, line.size() - 2)).compare(wanted, Qt::CaseInsensitive) ==
                0;
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (inKey && eq > 0 && line.left(eq).compare(name, Qt::CaseInsensitive) == 0)
            found = unescapeValue(line.mid(eq + 1)); // the last line of a name wins
    }
    return found;
}

} // namespace setup
