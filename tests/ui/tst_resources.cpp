#include "KProgressWidget.h"

#include <QFile>
#include <QImage>
#include <QtTest>

namespace {

QStringList bundleNames()
{
    QFile file(QStringLiteral(VELMORA_SOURCE_DIR "/resources/names.txt"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList names;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (!line.trimmed().isEmpty() && !line.startsWith('#'))
            names << QString::fromUtf8(line.trimmed());
    }
    return names;
}

// Mean lightness of the drawn pixels; drawn gets their number.
double lightness(const QImage &image, int *drawn)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    double sum = 0;
    *drawn = 0;
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const QColor c = QColor::fromRgba(argb.pixel(x, y));
            sum += c.alpha() > 128 ? c.lightnessF() : 0;
            *drawn += c.alpha() > 128;
        }
    }
    return *drawn ? sum / *drawn : 0;
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void everyPicture_data()
    {
        // Nothing has registered the bundle yet in this process; a window base does it by itself.
        KProgressWidget widget;
        QTest::addColumn<QString>("name");
        const QStringList names = bundleNames();
        QVERIFY(names.size() >= 100);
        for (const QString &name : names)
            QTest::newRow(qPrintable(name)) << name;
    }

    void everyPicture()
    {
        QFETCH(QString, name);
        const QImage image(QLatin1String(":/") + name);
        QVERIFY2(!image.isNull(), qPrintable(name));
        QCOMPARE(image.width(), image.height());
        int drawn = 0;
        const double light = lightness(image, &drawn);
        QVERIFY2(drawn >= 6, "the picture is empty");
        // Not solid: the corners stay see-through.
        QCOMPARE(qAlpha(image.convertToFormat(QImage::Format_ARGB32).pixel(0, 0)), 0);

        // A variant differs from its base; a disabled one is lighter.
        const QRegularExpressionMatch variant =
            QRegularExpression(QStringLiteral("^(.+)(_d|_h|_c|_cd|_p)\\.png$")).match(name);
        if (!variant.hasMatch())
            return;
        const QImage base(QLatin1String(":/") + variant.captured(1) + QLatin1String(".png"));
        QVERIFY(!base.isNull());
        QVERIFY(image != base);
        if (variant.captured(2) == QLatin1String("_d") &&
            !name.startsWith(QLatin1String("channellistopen")))
            QVERIFY(light > lightness(base, &drawn) + 0.15);
    }
};

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
