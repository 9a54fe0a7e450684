#include "shell.h"

#include <QDesktopServices>
#include <QUrl>

namespace platform {
namespace {

std::function<bool(const QString&)>& opener()
{
    static std::function<bool(const QString&)> instance;
    return instance;
}

} // namespace

bool shellOpen(const QString& address)
{
    if (opener())
        return opener()(address);
    QUrl url = QUrl::fromUserInput(address);
    return QDesktopServices::openUrl(url);
}

void setShellOpener(std::function<bool(const QString&)> opener_)
{
    opener() = std::move(opener_);
}

} // namespace platform
