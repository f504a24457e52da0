#include "KPasswordCipher.h"
#include "KSettings.h"

#include <QRegularExpression>
#include <QSettings>
#include <QtTest>

// The recorder-password cipher and its trip through the per-user store.
class tst_passwordcipher : public QObject
{
    Q_OBJECT

private:
    // A settings object read afresh, as at the next start of the program.
    class NextStart : public KSettings
    {
    public:
        NextStart() : KSettings(QCoreApplication::applicationDirPath()) {}
    };

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
        QTest::newRow("non-hex characters") << QString(good).replace(4, 1, QLatin1Char('z'));
        QTest::newRow("other key") << QStringLiteral("00112233445566778899aabbccddeeff");
        QTest::newRow("cut to two blocks")
            << KPasswordCipher::encipher(QString(20, QLatin1Char('x'))).left(32);
    }

    void badCipherTexts()
    {
        QFETCH(QString, text);
        QCOMPARE(KPasswordCipher::decipher(text), QString());
    }

    void perUserStoreRoundTrip()
    {
        // HOME and XDG_CONFIG_HOME point at this test's own folder.
        const QString cipher = KPasswordCipher::encipher(QStringLiteral("12345"));
        KSettings::instance()->setRecorderPassword(cipher);
        QSettings store(QStringLiteral("Tarnwick"), QStringLiteral("Velmora Viewer"));
        QCOMPARE(store.value(QStringLiteral("recorderPassword")).toString(), cipher);
        QCOMPARE(KPasswordCipher::decipher(NextStart().recorderPassword()),
                 QStringLiteral("12345"));
    }
};

QTEST_GUILESS_MAIN(tst_passwordcipher)
#include "tst_passwordcipher.moc"
