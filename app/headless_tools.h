#pragma once

#include <QString>
#include <string>

// Windowless commands around IndexNow. Both need a QCoreApplication (the
// HTTP client runs on its event loop) and fetch through the proxy set in
// the registry. Exit codes as in headless.h: 0 done, 1 failed.
namespace app {

// quorvane --import-sitemap SOURCE PROFILE [--since YYYY-MM-DD]: adds the
// sitemap's pages to the profile and prints "added N pages (M in the
// sitemap)" on stdout; an error goes to stderr, the profile unchanged.
// since is empty or a valid "YYYY-MM-DD".
int runImportSitemap(const std::string& source, const QString& profilePath,
                     const std::string& since);

// quorvane --check-key PROFILE: one line "HOST: result" per host of the
// profile on stdout; exit 0 only when every host serves the registry's key.
int runCheckKey(const QString& profilePath);

} // namespace app
