#include "KPasswordCipher.h"

#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QStringList keys = {QStringLiteral("recorderHost"), QStringLiteral("recorderType"),
                          QStringLiteral("recorderPort"), QStringLiteral("recorderLogin"),
                          QStringLiteral("recorderPassword")};

} // namespace

// velmora-demo-setup run as a program against a per-user store of its own.
class tst_demosetup : public QObject
{
    Q_OBJECT

private slots:
    void writesOnlyEmptyEntries_data()
    {
        // Values by key, the password in plain text; an empty text is an absent entry.
        QTest::addColumn<QStringList>("preset");
        QTest::addColumn<QStringList>("expected");
        const QStringList demo = {QStringLiteral("127.0.0.2"), QStringLiteral("1"),
                                  QStringLiteral("8000"), QStringLiteral("admin"),
                                  QStringLiteral("demo12345")};
        const QStringList own = {QStringLiteral("10.0.0.1"), QStringLiteral("7"),
                                 QStringLiteral("9000"), QStringLiteral("me"),
                                 QStringLiteral("mine")};
        const QStringList none = {QString(), QString(), QString(), QString(), QString()};
        QTest::newRow("empty store") << none << demo;
        QTest::newRow("operator's entries") << own << own;
        QTest::newRow("gaps only")
            << QStringList(own.mid(0, 2) + none.mid(2)) << QStringList(own.mid(0, 2) + demo.mid(2));
    }

    void writesOnlyEmptyEntries()
    {
        QFETCH(QStringList, preset);
        QFETCH(QStringList, expected);
        QTemporaryDir home;
        const QString storePath =
            home.filePath(QStringLiteral("config/Tarnwick/Velmora Viewer.conf"));
        {
            QSettings store(storePath, QSettings::IniFormat);
            for (int i = 0; i < keys.size(); ++i) {
                if (!preset.at(i).isEmpty())
                    store.setValue(keys.at(i),
                                   i == 4 ? KPasswordCipher::encipher(preset.at(i)) : preset.at(i));
            }
        }
        // A second run finds everything in place and writes nothing.
        QString output;
        for (int run = 0; run < 2; ++run) {
            QProcess process;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("HOME"), home.path());
            env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
            process.setProcessEnvironment(env);
            process.start(QStringLiteral(VELMORA_BIN_DIR "/velmora-demo-setup"), QStringList());
            QVERIFY(process.waitForFinished(30000));
            QCOMPARE(process.exitCode(), 0);
            output = QString::fromUtf8(process.readAllStandardOutput());
        }
        QVERIFY2(output.contains(QStringLiteral("nothing written")), qPrintable(output));
        QSettings store(storePath, QSettings::IniFormat);
        QStringList actual;
        for (const QString &key : keys)
            actual << store.value(key).toString();
        actual[4] = KPasswordCipher::decipher(actual.at(4));
        QCOMPARE(actual, expected);
    }
};

QTEST_GUILESS_MAIN(tst_demosetup)
#include "tst_demosetup.moc"
