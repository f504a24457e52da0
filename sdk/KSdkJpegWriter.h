#pragma once

#include <QByteArray>
#include <QImage>

// Encodes captured pictures as JPEG with libjpeg-turbo, straight from Format_RGB32 pixels.
// Every call keeps its own state, so any thread may encode.
class KSdkJpegWriter
{
public:
    // Empty when the picture is null or the encoder fails.
    static QByteArray encode(const QImage &picture, int quality = 90);
};
