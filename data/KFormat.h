#pragma once

#include <QString>

// Display texts for byte counts, in powers of 1024 with Russian units.
class KFormat
{
public:
    // A rate given in bytes, shown in bits: "1.5 Мбит"; "-" for a negative count.
    static QString bitRateText(qint64 bytes);
    // A size in bytes: "1.0 Кб"; the remainder below 1024 bytes is dropped before the
    // larger units are computed; "-" for a negative count.
    static QString byteSizeText(qint64 bytes);
};
