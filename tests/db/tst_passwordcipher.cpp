#include "KPasswordCipher.h"

#include <QRegularExpression>
#include <QtTest>

// The recorder-password cipher: block lengths, round trip, and texts it must refuse.
class tst_passwordcipher : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("hexLength");
        QTest::newRow("empty") << QString() << 32;
        QTest::newRow("14 chars") << QString(14, QLatin1Char('a')) << 32;
        QTest::newRow("15 chars") << QString(15, QLatin1Char('a')) << 64;
        QTest::newRow("31 chars") << QString(31, QLatin1Char('a')) << 96;
        QTest::newRow("quotes and sql") << QStringLiteral("a'b\";--/*x*/") << 32;
        QTest::newRow("cyrillic, 12 bytes") << QStringLiteral("пароль") << 32;
    }

    void roundTrip()
    {
        QFETCH(QString, password);
        QFETCH(int, hexLength);
        const QString cipher = KPasswordCipher::encipher(password);
        QCOMPARE(cipher.size(), hexLength);
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]+$")).match(cipher).hasMatch());
        QCOMPARE(KPasswordCipher::decipher(cipher), password);
    }

    void badCipherTexts_data()
    {
        const QString good = KPasswordCipher::encipher(QStringLiteral("demo12345"));
        QTest::addColumn<QString>("text");
        QTest::newRow("plain password") << QStringLiteral("demo12345");
        QTest::newRow("odd length") << good.left(31);
        QTest::newRow("other key") << QStringLiteral("00112233445566778899aabbccddeeff");
        QTest::newRow("cut to two blocks")
            << KPasswordCipher::encipher(QString(20, QLatin1Char('x'))).left(32);
    }

    void badCipherTexts()
    {
        QFETCH(QString, text);
        QCOMPARE(KPasswordCipher::decipher(text), QString());
    }
};

QTEST_GUILESS_MAIN(tst_passwordcipher)
#include "tst_passwordcipher.moc"
