#include "KPasswordCipher.h"

#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

// velmora-demo-setup run as a program against a per-user store of its own.
class tst_demosetup : public QObject
{
    Q_OBJECT

private slots:
    // Values by key (the password in plain text); an empty text is an absent entry.
    void writesOnlyEmptyEntries_data()
    {
        QTest::addColumn<QStringList>("preset");
        QTest::addColumn<QStringList>("expected");
        const QStringList demo = {"127.0.0.2", "1", "8000", "admin", "demo12345"};
        const QStringList own = {"10.0.0.1", "7", "9000", "me", "mine"};
        const QStringList none = {"", "", "", "", ""};
        QTest::newRow("empty store") << none << demo;
        QTest::newRow("operator's entries") << own << own;
        QTest::newRow("gaps only")
            << QStringList(own.mid(0, 2) + none.mid(2)) << QStringList(own.mid(0, 2) + demo.mid(2));
    }

    void writesOnlyEmptyEntries()
    {
        QFETCH(QStringList, preset);
        QFETCH(QStringList, expected);
        const QStringList keys = {"recorderHost", "recorderType", "recorderPort", "recorderLogin",
                                  "recorderPassword"};
        QTemporaryDir home;
        const QString storePath = home.filePath("config/Tarnwick/Velmora Viewer.conf");
        {
            QSettings store(storePath, QSettings::IniFormat);
            for (int i = 0; i < keys.size(); ++i) {
                if (!preset[i].isEmpty())
                    store.setValue(keys[i],
                                   i == 4 ? KPasswordCipher::encipher(preset[i]) : preset[i]);
            }
        }
        // A second run finds everything in place and writes nothing.
        QString output;
        for (int run = 0; run < 2; ++run) {
            QProcess process;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("HOME", home.path());
            env.insert("XDG_CONFIG_HOME", home.filePath("config"));
            process.setProcessEnvironment(env);
            process.start(VELMORA_BIN_DIR "/velmora-demo-setup", QStringList());
            QVERIFY(process.waitForFinished(30000));
            QCOMPARE(process.exitCode(), 0);
            output = QString::fromUtf8(process.readAllStandardOutput());
        }
        QVERIFY2(output.contains("nothing written"), qPrintable(output));
        QSettings store(storePath, QSettings::IniFormat);
        QStringList actual;
        for (const QString &key : keys)
            actual << store.value(key).toString();
        actual[4] = KPasswordCipher::decipher(actual[4]);
        QCOMPARE(actual, expected);
    }
};

QTEST_GUILESS_MAIN(tst_demosetup)
#include "tst_demosetup.moc"
