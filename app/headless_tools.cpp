#include "headless_tools.h"

#include "headless.h"
#include "http_clients.h"
#include "indexnow.h"
#include "key_check.h"
#include "profile.h"
#include "sitemap.h"
#include "web_fetch.h"

#include "platform/registry_store.h"

#include <cstdio>
#include <QFileInfo>

namespace app {
namespace {

void report(std::FILE* stream, const std::string& text)
{
    std::fprintf(stream, "%s\n", text.c_str());
    std::fflush(stream);
}

int failWith(const std::string& text)
{
    report(stderr, "quorvane: " + text);
    return kExitFailed;
}

// A file named on the command line is taken relative to where the command
// was started; web and file:// addresses stay as they are.
std::string fromStartFolder(const std::string& source)
{
    const QString name = QString::fromLocal8Bit(source.c_str());
    if (name.contains("://") || name.startsWith("file:", Qt::CaseInsensitive))
        return source;
    return QFileInfo(name).absoluteFilePath().toLocal8Bit().toStdString();
}

} // namespace

int runImportSitemap(const std::string& source, const QString& profilePath,
                     const std::string& since)
{
    RegistryStore registry;
    HttpClients clients;
    clients.readpreferences(registry);
    std::optional<QDate> sinceDate;
    if (!since.empty())
        sinceDate = QDate::fromString(QString::fromStdString(since), "yyyy-MM-dd");
    try {
        SitemapImport result =
            importSitemap(fromStartFolder(source), QFileInfo(profilePath).absoluteFilePath(),
                          clientFetcher(clients.agHTTP1()), sinceDate);
        report(stdout, result.message());
    } catch (const std::exception& error) {
        return failWith(error.what());
    }
    return kExitDone;
}

int runCheckKey(const QString& profilePath)
{
    RegistryStore registry;
    const std::string key = readIndexNowKey(registry);
    if (key.empty())
        return failWith("no IndexNow key is set; generate one in Program Options");
    if (!isValidIndexNowKey(key))
        return failWith("the IndexNow key is not valid (8 to 128 of a-z, A-Z, 0-9 and -)");
    HttpClients clients;
    clients.readpreferences(registry);
    std::vector<KeyCheckLine> lines;
    try {
        lines = checkKey(readProfile(QFileInfo(profilePath).absoluteFilePath()).pages, key,
                         clientFetcher(clients.agHTTP1()));
    } catch (const std::exception& error) {
        return failWith(error.what());
    }
    if (lines.empty())
        return failWith("the profile names no page with a host");
    bool allGood = true;
    for (const KeyCheckLine& line : lines) {
        report(stdout, line.line());
        allGood = allGood && line.good;
    }
    return allGood ? kExitDone : kExitFailed;
}

} // namespace app
