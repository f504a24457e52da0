#include "KPasswordCipher.h"

#include <QtTest>

// The recorder-password cipher: texts stored by earlier versions, block lengths, and texts it
// must refuse.
class tst_passwordcipher : public QObject
{
    Q_OBJECT

private slots:
    // Cipher texts stored by earlier versions, computed apart from this code (openssl enc
    // -aes-128-cbc, key 16 x 5b, vector 16 x c3, over the UTF-8 bytes and a zero byte).
    void knownAnswers_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("cipher");
        QTest::newRow("empty") << QString() << "2d054a9dce98fef476b92be801b841d6";
        QTest::newRow("ascii") << "demo12345"
                               << "55f6a385b366b02b372572577ebe14f3";
        QTest::newRow("cyrillic") << "пароль"
                                  << "abcb12d82376ce4c8aad93a75ab2cf63";
        QTest::newRow("two blocks, mixed")
            << "Tarnwick-Депо 7"
            << "31cf4c0f39edd8fbe665025cd72382f8674d3c3cc151cba16957f060fee7b90b";
    }

    void knownAnswers()
    {
        QFETCH(QString, password);
        QFETCH(QString, cipher);
        QCOMPARE(KPasswordCipher::encipher(password), cipher);
        QCOMPARE(KPasswordCipher::decipher(cipher), password);
        QCOMPARE(KPasswordCipher::decipher(cipher.toUpper()), password);
    }

    // The zero byte after the text takes a block of its own at 15 characters.
    void roundTrip_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("hexLength");
        QTest::newRow("14 chars") << QString(14, 'a') << 32;
        QTest::newRow("15 chars") << QString(15, 'a') << 64;
        QTest::newRow("quotes and sql") << "a'b\";--/*x*/" << 32;
    }

    void roundTrip()
    {
        QFETCH(QString, password);
        QFETCH(int, hexLength);
        const QString cipher = KPasswordCipher::encipher(password);
        QCOMPARE(cipher.size(), hexLength);
        QCOMPARE(KPasswordCipher::decipher(cipher), password);
    }

    void badCipherTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("plain password") << "demo12345";
        QTest::newRow("odd length") << KPasswordCipher::encipher("demo12345").left(31);
        QTest::newRow("other key") << "00112233445566778899aabbccddeeff";
        QTest::newRow("cut to two blocks") << KPasswordCipher::encipher(QString(20, 'x')).left(32);
    }

    void badCipherTexts()
    {
        QFETCH(QString, text);
        QCOMPARE(KPasswordCipher::decipher(text), QString());
    }
};

QTEST_GUILESS_MAIN(tst_passwordcipher)
#include "tst_passwordcipher.moc"
