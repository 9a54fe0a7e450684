#include "page_download.h"

#include "net/http_cli.h"
#include "platform/ansi.h"
#include "platform/exception.h"

#include <QBuffer>
#include <QFile>

namespace app {
namespace {

// Gives the client its previous received-data stream back when the
// download's own stream goes, however the download ends.
class StreamAttachment {
public:
    StreamAttachment(THttpCli& http, QIODevice* stream)
        : m_http(http), m_previous(http.RcvdStream())
    {
        m_http.setRcvdStream(stream);
    }
    ~StreamAttachment() { m_http.setRcvdStream(m_previous); }
    StreamAttachment(const StreamAttachment&) = delete;
    StreamAttachment& operator=(const StreamAttachment&) = delete;

private:
    THttpCli& m_http;
    QIODevice* m_previous;
};

void writeWholeFile(const QString& fileName, const QByteArray& bytes)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size() || !file.flush())
        throw EInOutError("Cannot write " + platform::toAnsi(fileName) + ": " +
                              platform::toAnsi(file.errorString()),
                          static_cast<int>(file.error()));
}

} // namespace

DownloadedPage downloadPage(THttpCli& http, const std::string& address, const QString& fileName)
{
    QBuffer stream;
    stream.open(QIODevice::ReadWrite);
    {
        StreamAttachment attached(http, &stream);
        http.setURL(address);
        http.Get();
    }
    writeWholeFile(fileName, stream.data());
    return DownloadedPage{http.ContentType()};
}

} // namespace app
