#pragma once

#include <QImage>

// The viewer's two built-in pictures, drawn by us, 16 x 16 pixels, with a
// transparent surround (ARGB32 premultiplied; images::transparencyMask()
// gives their masks).
namespace images {

inline constexpr int kBuiltinBitmapSize = 16;

// Stands in for an image while images are switched off or its data has not
// arrived yet: a framed little landscape.
const QImage& placeholderBitmap();

// Stands in for an image that could not be loaded: a page with a red cross.
const QImage& errorBitmap();

} // namespace images
