#pragma once

#include <QImage>
#include <QString>
#include <QVector>

// Maps every picture name of the bundle to its size and glyph.
class KIconCatalog
{
public:
    // The picture called name ("play_d.png"); a null image for an unknown name.
    static QImage render(const QString &name);
    // The application icon at the given pixel size (for the .ico file).
    static QImage applicationIcon(int size);
    // An .ico file holding the application icon at each size, largest first.
    static QByteArray icoFile(const QVector<int> &sizes);
};
