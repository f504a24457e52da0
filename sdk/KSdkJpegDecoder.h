#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

// Decodes JPEG pictures for the screen: libjpeg scales while decoding (a fraction of the
// work of a full decode) and writes straight into a Format_RGB32 picture, so painting it is
// a plain copy. Every call keeps its own state, so any thread may decode.
class KSdkJpegDecoder
{
public:
    // Decodes to exactly target (any aspect), or at full size when target is invalid or
    // empty. A null image when the data is broken or a side exceeds maxDimension.
    static QImage decode(const QByteArray &jpeg, const QSize &target, int maxDimension,
                         qint64 maxPixels);
};
