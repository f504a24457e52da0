#include "KProgressWidget.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QSet>
#include <QTextStream>
#include <QtTest>

namespace {

QStringList bundleNames()
{
    QFile file(QStringLiteral(VELMORA_SOURCE_DIR "/resources/names.txt"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList names;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (!line.isEmpty() && !line.startsWith(QLatin1Char('#')))
            names << line;
    }
    return names;
}

int opaquePixels(const QImage &image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    int count = 0;
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x)
            count += qAlpha(argb.pixel(x, y)) > 128;
    }
    return count;
}

// Mean lightness of the drawn pixels.
double lightness(const QImage &image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    double sum = 0;
    int count = 0;
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const QColor c = QColor::fromRgba(argb.pixel(x, y));
            if (c.alpha() > 128) {
                sum += c.lightnessF();
                ++count;
            }
        }
    }
    return count ? sum / count : 0;
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void registeredByTheWindowBases();
    void everyPicture_data();
    void everyPicture();
    void variantsDifferFromTheirBase();
    void spinnerFramesAllDiffer();
    void applicationIcon();
};

void TestResources::registeredByTheWindowBases()
{
    // Nothing has registered the bundle yet in this process; a window base does it by itself.
    KProgressWidget widget;
    QVERIFY(QFile::exists(QStringLiteral(":/play.png")));
}

void TestResources::everyPicture_data()
{
    QTest::addColumn<QString>("name");
    const QStringList names = bundleNames();
    QVERIFY(names.size() >= 100);
    QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), names.size());
    for (const QString &name : names)
        QTest::newRow(qPrintable(name)) << name;
}

void TestResources::everyPicture()
{
    QFETCH(QString, name);
    const QString path = QLatin1String(":/") + name;
    QVERIFY(QFile::exists(path));
    const QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    QVERIFY(image.width() >= 10 && image.width() <= 256);
    QCOMPARE(image.width(), image.height());
    QVERIFY2(opaquePixels(image) >= 6, "the picture is empty");
    QVERIFY(image.hasAlphaChannel());
    // A picture must not be solid: its corners stay see-through (the application icon is a
    // rounded tile, its corners too).
    QCOMPARE(qAlpha(image.convertToFormat(QImage::Format_ARGB32).pixel(0, 0)), 0);

    if (name == QLatin1String("dialog.png") || name == QLatin1String("warning.png") ||
        name == QLatin1String("critical.png") || name == QLatin1String("success.png"))
        QCOMPARE(image.size(), QSize(40, 40));
    if (name.startsWith(QLatin1String("progress")))
        QCOMPARE(image.size(), QSize(35, 35));
    if (name.startsWith(QLatin1String("window_")))
        QCOMPARE(image.size(), QSize(20, 20));
}

void TestResources::variantsDifferFromTheirBase()
{
    int checked = 0;
    for (const QString &name : bundleNames()) {
        const int cut = name.lastIndexOf(QLatin1Char('_'));
        const QString suffix = name.mid(cut, name.size() - cut - 4);
        if (cut < 0 || !QStringList{"_d", "_h", "_c", "_cd", "_p"}.contains(suffix))
            continue;
        const QString base = name.left(cut) + QLatin1String(".png");
        const QImage variant(QLatin1String(":/") + name);
        const QImage plain(QLatin1String(":/") + base);
        QVERIFY2(!plain.isNull(), qPrintable(base));
        QVERIFY2(variant != plain, qPrintable(name));
        // Disabled pictures are lighter than the normal ones.
        if (suffix == QLatin1String("_d") && base != QLatin1String("channellistopen.png"))
            QVERIFY2(lightness(variant) > lightness(plain) + 0.15, qPrintable(name));
        ++checked;
    }
    QVERIFY(checked > 40);
}

void TestResources::spinnerFramesAllDiffer()
{
    QVector<QImage> frames;
    for (int i = 0; i <= 7; ++i) {
        frames << QImage(i ? QStringLiteral(":/progress%1.png").arg(i)
                           : QStringLiteral(":/progress.png"));
    }
    for (int i = 0; i < frames.size(); ++i) {
        for (int j = i + 1; j < frames.size(); ++j)
            QVERIFY2(frames.at(i) != frames.at(j),
                     qPrintable(QStringLiteral("%1 %2").arg(i).arg(j)));
    }
}

void TestResources::applicationIcon()
{
    QImageReader reader(QStringLiteral(":/vms_client.ico"));
    QVERIFY2(reader.canRead(), qPrintable(reader.errorString()));
    QVERIFY(reader.imageCount() >= 4);
    QSet<int> sizes;
    for (int i = 0; i < reader.imageCount(); ++i) {
        QVERIFY(reader.jumpToImage(i));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        sizes.insert(image.width());
        QVERIFY(opaquePixels(image) > image.width() * image.height() / 2);
    }
    QVERIFY(sizes.contains(16) && sizes.contains(32) && sizes.contains(64));
    QCOMPARE(QImage(QStringLiteral(":/vms_client.ico")).width(), 64);
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
