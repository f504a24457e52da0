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
    void lengths_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("hexLength");
        QTest::newRow("empty") << QString() << 32;
        QTest::newRow("5 chars") << QStringLiteral("12345") << 32;
        QTest::newRow("14 chars") << QString(14, QLatin1Char('a')) << 32;
        QTest::newRow("15 chars") << QString(15, QLatin1Char('a')) << 64;
        QTest::newRow("30 chars") << QString(30, QLatin1Char('a')) << 64;
        QTest::newRow("31 chars") << QString(31, QLatin1Char('a')) << 96;
    }

    void lengths()
    {
        QFETCH(QString, password);
        QFETCH(int, hexLength);
        const QString cipher = KPasswordCipher::encipher(password);
        QCOMPARE(cipher.size(), hexLength);
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]+$")).match(cipher).hasMatch());
        QVERIFY(cipher != password);
        QCOMPARE(KPasswordCipher::encipher(password), cipher); // fixed key and vector
        QCOMPARE(KPasswordCipher::decipher(cipher), password);
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("demo") << QStringLiteral("demo12345");
        QTest::newRow("quotes and sql") << QStringLiteral("a'b\";--/*x*/");
        QTest::newRow("cyrillic") << QStringLiteral("пароль");
        QTest::newRow("latin-1") << QStringLiteral("café");
        QTest::newRow("spaces") << QStringLiteral(" pass word ");
    }

    void roundTrip()
    {
        QFETCH(QString, password);
        QCOMPARE(KPasswordCipher::decipher(KPasswordCipher::encipher(password)), password);
    }

    void differentPasswordsDiffer()
    {
        QVERIFY(KPasswordCipher::encipher(QStringLiteral("12345")) !=
                KPasswordCipher::encipher(QStringLiteral("12346")));
    }

    void badCipherTexts_data()
    {
        const QString good = KPasswordCipher::encipher(QStringLiteral("demo12345"));
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("plain password") << QStringLiteral("demo12345");
        QTest::newRow("odd length") << good.left(31);
        QTest::newRow("not a block") << good.left(30);
        QTest::newRow("non-hex characters") << QString(good).replace(4, 1, QLatin1Char('z'));
        QTest::newRow("blanks inside") << good.left(16) + QLatin1Char(' ') + good.mid(17);
        QTest::newRow("other key") << QStringLiteral("00112233445566778899aabbccddeeff");
        QTest::newRow("tampered last block") << good.left(30) + QStringLiteral("00");
        QTest::newRow("cut to two blocks")
            << KPasswordCipher::encipher(QString(20, QLatin1Char('x'))).left(32);
    }

    void badCipherTexts()
    {
        QFETCH(QString, text);
        QCOMPARE(KPasswordCipher::decipher(text), QString());
    }

    void upperCaseHexIsAccepted()
    {
        const QString cipher = KPasswordCipher::encipher(QStringLiteral("abc"));
        QCOMPARE(KPasswordCipher::decipher(cipher.toUpper()), QStringLiteral("abc"));
    }

    void perUserStoreRoundTrip()
    {
        // HOME and XDG_CONFIG_HOME point at this test's own folder.
        const QString password = QStringLiteral("12345");
        const QString cipher = KPasswordCipher::encipher(password);
        KSettings::instance()->setRecorderPassword(cipher);

        QSettings store(QStringLiteral("Tarnwick"), QStringLiteral("Velmora Viewer"));
        const QString stored = store.value(QStringLiteral("recorderPassword")).toString();
        QCOMPARE(stored, cipher);
        QVERIFY(stored != password);
        QCOMPARE(stored.size(), 32);

        NextStart next;
        QCOMPARE(next.recorderPassword(), cipher);
        QCOMPARE(KPasswordCipher::decipher(next.recorderPassword()), password);
    }
};

QTEST_GUILESS_MAIN(tst_passwordcipher)
#include "tst_passwordcipher.moc"
