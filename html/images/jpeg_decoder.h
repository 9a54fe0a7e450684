#pragma once

#include <QByteArray>
#include <QImage>
#include <string>

namespace images {

// Decodes JPEG data through libjpeg into a 24-bit picture (Format_RGB32).
// Returns a null image and sets `error` when libjpeg rejects the data, when
// the picture is larger than kMaxImagePixels, or when a progressive file
// carries an absurd number of scans. Data cut short is decoded as far as it
// goes, the rest left grey, as libjpeg does.
QImage decodeJpeg(const QByteArray& data, std::string& error);

} // namespace images
