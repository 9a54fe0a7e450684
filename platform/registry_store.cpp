#include "registry_store.h"

#include "text_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The file may hold a proxy password: only its owner reads it.
constexpr unsigned kFileMode = 0600;

// Values are single lines in the file; line breaks and backslashes inside
// them are escaped.
QString escapeValue(const QString& value)
{
    QString out;
    for (QChar c : value) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

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

} // namespace

RegistryStore::RegistryStore() : m_filePath(defaultFilePath()) {}

RegistryStore::RegistryStore(QString filePath) : m_filePath(std::move(filePath)) {}

QString RegistryStore::defaultFilePath()
{
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty())
        configHome = QDir::homePath() + "/.config";
    return configHome + "/quorvane/registry.ini";
}

RegistryStore::Sections RegistryStore::load() const
{
    Sections sections;
    QFile file(m_filePath);
    if (!file.open(QIODevice::ReadOnly))
        return sections;
    Section* current = nullptr;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (QByteArray raw : lines) {
        if (raw.endsWith('\r'))
            raw.chop(1);
        const QString line = QString::fromUtf8(raw);
        // Blanks around section names, value names and empty lines mean
        // nothing; a value keeps every character after the "=", blanks
        // included (a password may begin or end with one).
        const QString bare = line.trimmed();
        if (bare.isEmpty() || bare.startsWith(';'))
            continue;
        if (bare.startsWith('[') && bare.endsWith(']')) {
            current = &sections[bare.mid(1, bare.size() - 2)];
            continue;
        }
        qsizetype eq = line.indexOf('=');
        const QString name = eq < 0 ? QString() : line.left(eq).trimmed();
        if (current && !name.isEmpty())
            (*current)[name] = unescapeValue(line.mid(eq + 1));
    }
    return sections;
}

bool RegistryStore::save(const Sections& sections) const
{
    QDir().mkpath(QFileInfo(m_filePath).absolutePath());
    QByteArray bytes;
    for (const auto& [key, values] : sections) {
        bytes += '[' + key.toUtf8() + "]\n";
        for (const auto& [name, value] : values)
            bytes += name.toUtf8() + '=' + escapeValue(value).toUtf8() + '\n';
        bytes += '\n';
    }
    try {
        platform::replaceFile(m_filePath, std::string_view(bytes.constData(), bytes.size()),
                              kFileMode);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

bool RegistryStore::keyExists(const QString& key) const
{
    Sections sections = load();
    return sections.find(key) != sections.end();
}

QString RegistryStore::value(const QString& key, const QString& name) const
{
    Sections sections = load();
    auto section = sections.find(key);
    if (section == sections.end())
        return {};
    auto found = section->second.find(name);
    return found == section->second.end() ? QString() : found->second;
}

bool RegistryStore::createKey(const QString& key)
{
    Sections sections = load();
    if (sections.find(key) != sections.end())
        return true;
    sections[key];
    return save(sections);
}

bool RegistryStore::setValue(const QString& key, const QString& name, const QString& value)
{
    Sections sections = load();
    sections[key][name] = value;
    return save(sections);
}
