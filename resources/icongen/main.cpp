// icongen: draws every picture of the bundle into a folder and writes the .qrc that lists them.
//   icongen --names names.txt --out DIR [--sheet sheet.png]
// With --sheet it also renders a contact sheet of all pictures for a look by eye.

#include "KIconCatalog.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QSaveFile>
#include <QTextStream>

#include <cstdio>

namespace {

QStringList readNames(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return {};
    }
    QStringList names;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (!line.isEmpty() && !line.startsWith(QLatin1Char('#')))
            names.append(line);
    }
    return names;
}

bool writeFile(const QString &path, const QByteArray &content, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() ||
        !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QByteArray pngBytes(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QImage contactSheet(const QStringList &names, const QString &dir)
{
    // Each cell: the picture at its own size on the window colour, on the button colour and on
    // the dark tile bar, then scaled to 20 px on the button colour; the name underneath.
    const int cellW = 230, cellH = 72, columns = 5;
    const int rows = (names.size() + columns - 1) / columns;
    QImage sheet(cellW * columns, cellH * rows, QImage::Format_ARGB32);
    sheet.fill(QColor(0xef, 0xef, 0xef));
    QPainter p(&sheet);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    QFont font = p.font();
    font.setPixelSize(11);
    p.setFont(font);
    const QColor backgrounds[] = {QColor(0xef, 0xef, 0xef), QColor(0xcc, 0xcc, 0xcc),
                                  QColor(0x33, 0x33, 0x33), QColor(0xcc, 0xcc, 0xcc)};
    for (int i = 0; i < names.size(); ++i) {
        const int x0 = (i % columns) * cellW, y0 = (i / columns) * cellH;
        const QImage image(dir + QLatin1Char('/') + names.at(i));
        for (int k = 0; k < 4; ++k) {
            const QRect box(x0 + 4 + k * 52, y0 + 4, 48, 48);
            p.fillRect(box, backgrounds[k]);
            if (image.isNull())
                continue;
            QImage shown = image;
            if (k == 3)
                shown = image.scaled(20, 20, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            p.drawImage(box.center() - QPoint(shown.width() / 2, shown.height() / 2), shown);
        }
        p.setPen(image.isNull() ? Qt::red : Qt::black);
        p.drawText(QRect(x0 + 4, y0 + 53, cellW - 8, 16), Qt::AlignLeft | Qt::AlignVCenter,
                   names.at(i) + QStringLiteral(" %1x%2").arg(image.width()).arg(image.height()));
    }
    return sheet;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QString namesPath, outDir, sheetPath;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args.at(i) == QLatin1String("--names"))
            namesPath = args.at(i + 1);
        else if (args.at(i) == QLatin1String("--out"))
            outDir = args.at(i + 1);
        else if (args.at(i) == QLatin1String("--sheet"))
            sheetPath = args.at(i + 1);
    }
    if (namesPath.isEmpty() || outDir.isEmpty()) {
        std::fprintf(stderr, "usage: icongen --names FILE --out DIR [--sheet FILE.png]\n");
        return 2;
    }

    QString error;
    const QStringList names = readNames(namesPath, &error);
    if (names.isEmpty()) {
        std::fprintf(stderr, "icongen: %s\n",
                     qPrintable(error.isEmpty() ? QStringLiteral("no names") : error));
        return 1;
    }
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "icongen: cannot create %s\n", qPrintable(outDir));
        return 1;
    }

    QByteArray qrc = "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/\">\n";
    for (const QString &name : names) {
        QByteArray content;
        if (name.endsWith(QLatin1String(".ico"))) {
            content = KIconCatalog::icoFile({64, 48, 32, 24, 16});
        } else {
            const QImage image = KIconCatalog::render(name);
            if (image.isNull()) {
                std::fprintf(stderr, "icongen: no drawing for %s\n", qPrintable(name));
                return 1;
            }
            content = pngBytes(image);
        }
        if (!writeFile(outDir + QLatin1Char('/') + name, content, &error)) {
            std::fprintf(stderr, "icongen: %s\n", qPrintable(error));
            return 1;
        }
        qrc += "  <file>" + name.toUtf8() + "</file>\n";
    }
    qrc += "</qresource>\n</RCC>\n";
    if (!writeFile(outDir + QStringLiteral("/velmora.qrc"), qrc, &error)) {
        std::fprintf(stderr, "icongen: %s\n", qPrintable(error));
        return 1;
    }

    if (!sheetPath.isEmpty() && !contactSheet(names, outDir).save(sheetPath)) {
        std::fprintf(stderr, "icongen: cannot write %s\n", qPrintable(sheetPath));
        return 1;
    }
    return 0;
}
