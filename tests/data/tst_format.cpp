#include "KFormat.h"

#include <QtTest>

#include <limits>

class tst_Format : public QObject
{
    Q_OBJECT

private slots:
    void texts_data()
    {
        QTest::addColumn<bool>("bits");
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        const qint64 max = std::numeric_limits<qint64>::max();
        QTest::newRow("bits: 127 bytes stay bits") << true << qint64(127) << "1016.0 бит";
        QTest::newRow("bits: 128 bytes are 1024 bits") << true << qint64(128) << "1.0 Кбит";
        QTest::newRow("bits: below a megabit") << true << qint64(131071) << "1024.0 Кбит";
        QTest::newRow("bits: 1.5 megabit") << true << qint64(196608) << "1.5 Мбит";
        QTest::newRow("bits: terabits do not roll over")
            << true << (qint64(1) << 47) << "1024.0 Тбит";
        // Eight times this count does not fit in 64 bits; the text must still be positive.
        QTest::newRow("bits: largest") << true << max << "67108864.0 Тбит";
        QTest::newRow("bits: most negative") << true << std::numeric_limits<qint64>::min() << "-";
        QTest::newRow("bytes: 1023") << false << qint64(1023) << "1023.0 б";
        QTest::newRow("bytes: 1536 drops the remainder") << false << qint64(1536) << "1.0 Кб";
        QTest::newRow("bytes: 1.5 gigabyte") << false << qint64(1610612736) << "1.5 Гб";
        QTest::newRow("bytes: largest") << false << max << "8388608.0 Тб";
        QTest::newRow("bytes: minus one") << false << qint64(-1) << "-";
    }

    void texts()
    {
        QFETCH(bool, bits);
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(bits ? KFormat::bitRateText(bytes) : KFormat::byteSizeText(bytes), text);
    }
};

QTEST_GUILESS_MAIN(tst_Format)
#include "tst_format.moc"
