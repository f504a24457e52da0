#include "KFormat.h"

#include <QtTest>

#include <limits>

class tst_Format : public QObject
{
    Q_OBJECT

private slots:
    void bitRateText_data();
    void bitRateText();
    void byteSizeText_data();
    void byteSizeText();
};

void tst_Format::bitRateText_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << qint64(0) << QStringLiteral("0.0 бит");
    QTest::newRow("127 bytes stay bits") << qint64(127) << QStringLiteral("1016.0 бит");
    QTest::newRow("128 bytes are 1024 bits") << qint64(128) << QStringLiteral("1.0 Кбит");
    QTest::newRow("1023") << qint64(1023) << QStringLiteral("8.0 Кбит");
    QTest::newRow("1536") << qint64(1536) << QStringLiteral("12.0 Кбит");
    QTest::newRow("just below a megabit") << qint64(131071) << QStringLiteral("1024.0 Кбит");
    QTest::newRow("one megabit") << qint64(131072) << QStringLiteral("1.0 Мбит");
    QTest::newRow("one and a half megabit") << qint64(196608) << QStringLiteral("1.5 Мбит");
    QTest::newRow("one terabit") << (qint64(1) << 37) << QStringLiteral("1.0 Тбит");
    QTest::newRow("terabits do not roll over")
        << (qint64(1) << 47) << QStringLiteral("1024.0 Тбит");
    // Eight times this count does not fit in 64 bits; the text must still be positive.
    QTest::newRow("largest count")
        << std::numeric_limits<qint64>::max() << QStringLiteral("67108864.0 Тбит");
    QTest::newRow("minus one") << qint64(-1) << QStringLiteral("-");
    QTest::newRow("most negative") << std::numeric_limits<qint64>::min() << QStringLiteral("-");
}

void tst_Format::bitRateText()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(KFormat::bitRateText(bytes), text);
}

void tst_Format::byteSizeText_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << qint64(0) << QStringLiteral("0.0 б");
    QTest::newRow("127") << qint64(127) << QStringLiteral("127.0 б");
    QTest::newRow("1023") << qint64(1023) << QStringLiteral("1023.0 б");
    QTest::newRow("1024") << qint64(1024) << QStringLiteral("1.0 Кб");
    QTest::newRow("1536 drops the remainder") << qint64(1536) << QStringLiteral("1.0 Кб");
    QTest::newRow("just below a megabyte") << qint64(1048575) << QStringLiteral("1023.0 Кб");
    QTest::newRow("one megabyte") << qint64(1048576) << QStringLiteral("1.0 Мб");
    QTest::newRow("one and a half gigabyte") << qint64(1610612736) << QStringLiteral("1.5 Гб");
    QTest::newRow("one terabyte") << (qint64(1) << 40) << QStringLiteral("1.0 Тб");
    QTest::newRow("largest count")
        << std::numeric_limits<qint64>::max() << QStringLiteral("8388608.0 Тб");
    QTest::newRow("minus one") << qint64(-1) << QStringLiteral("-");
}

void tst_Format::byteSizeText()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(KFormat::byteSizeText(bytes), text);
}

QTEST_GUILESS_MAIN(tst_Format)
#include "tst_format.moc"
