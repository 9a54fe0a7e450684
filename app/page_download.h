#pragma once

#include <QString>
#include <string>

class THttpCli;

// Fetching a page into the file the main window shows downloads from.
namespace app {

// What a download delivered.
struct DownloadedPage {
    std::string contentType; // the answer's Content-Type, empty when it named none
};

// Downloads the address with a synchronous GET on the client (the event
// loop runs meanwhile) into a stream of its own, then writes the body to
// the file, replacing its content. The client refers to the download's
// stream only while the request runs: afterwards, also on failure, it has
// the received-data stream it had before. Throws the client's
// EHttpException for a failed request or an answer with status 400 or
// more (the file is then left as it was), and EInOutError when the file
// cannot be written.
DownloadedPage downloadPage(THttpCli& http, const std::string& address, const QString& fileName);

} // namespace app
