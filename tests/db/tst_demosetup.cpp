#include "KPasswordCipher.h"

#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

// velmora-demo-setup run as a program against a per-user store of its own.
class tst_demosetup : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir *m_home = nullptr;

    QString storePath() const
    {
        return m_home->path() + QStringLiteral("/config/Tarnwick/Velmora Viewer.conf");
    }

    bool runTool(QString *output = nullptr)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_home->path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home->path() + QStringLiteral("/config"));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(VELMORA_BIN_DIR "/velmora-demo-setup"), QStringList());
        if (!process.waitForFinished(30000))
            return false;
        if (output)
            *output = QString::fromUtf8(process.readAllStandardOutput());
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

private slots:
    void init()
    {
        m_home = new QTemporaryDir();
        QVERIFY(m_home->isValid());
    }

    void cleanup()
    {
        delete m_home;
        m_home = nullptr;
    }

    void writesOnlyEmptyEntries_data()
    {
        QTest::addColumn<QVariantMap>("preset");
        QTest::addColumn<QStringList>("expected"); // host, type, port, login, password
        const QStringList demo = {QStringLiteral("127.0.0.2"), QStringLiteral("1"),
                                  QStringLiteral("8000"), QStringLiteral("admin"),
                                  QStringLiteral("demo12345")};
        QTest::newRow("empty store") << QVariantMap() << demo;
        QTest::newRow("operator's entries")
            << QVariantMap{{QStringLiteral("recorderHost"), QStringLiteral("10.0.0.1")},
                           {QStringLiteral("recorderType"), 7},
                           {QStringLiteral("recorderPort"), 9000},
                           {QStringLiteral("recorderLogin"), QStringLiteral("me")},
                           {QStringLiteral("recorderPassword"),
                            KPasswordCipher::encipher(QStringLiteral("mine"))}}
            << QStringList({QStringLiteral("10.0.0.1"), QStringLiteral("7"), QStringLiteral("9000"),
                            QStringLiteral("me"), QStringLiteral("mine")});
        QTest::newRow("gaps only")
            << QVariantMap{{QStringLiteral("recorderHost"), QStringLiteral("10.0.0.1")},
                           {QStringLiteral("recorderType"), 7}}
            << QStringList({QStringLiteral("10.0.0.1"), QStringLiteral("7"), QStringLiteral("8000"),
                            QStringLiteral("admin"), QStringLiteral("demo12345")});
    }

    void writesOnlyEmptyEntries()
    {
        QFETCH(QVariantMap, preset);
        QFETCH(QStringList, expected);
        {
            QSettings store(storePath(), QSettings::IniFormat);
            for (auto it = preset.cbegin(); it != preset.cend(); ++it)
                store.setValue(it.key(), it.value());
        }
        QString output;
        QVERIFY(runTool(&output));
        // A second run finds everything in place and writes nothing.
        QVERIFY(runTool(&output));
        QVERIFY(output.contains(QStringLiteral("nothing written")));
        QSettings store(storePath(), QSettings::IniFormat);
        const QStringList actual = {
            store.value(QStringLiteral("recorderHost")).toString(),
            store.value(QStringLiteral("recorderType")).toString(),
            store.value(QStringLiteral("recorderPort")).toString(),
            store.value(QStringLiteral("recorderLogin")).toString(),
            KPasswordCipher::decipher(store.value(QStringLiteral("recorderPassword")).toString())};
        QCOMPARE(actual, expected);
    }
};

QTEST_GUILESS_MAIN(tst_demosetup)
#include "tst_demosetup.moc"
