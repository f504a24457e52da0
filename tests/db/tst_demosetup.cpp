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

    void preset(const QVariantMap &values)
    {
        QSettings store(storePath(), QSettings::IniFormat);
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            store.setValue(it.key(), it.value());
    }

    QVariant stored(const QString &key)
    {
        QSettings store(storePath(), QSettings::IniFormat);
        return store.value(key);
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

    void fillsAnEmptyStore()
    {
        QString output;
        QVERIFY(runTool(&output));
        QVERIFY(output.contains(QStringLiteral("wrote")));
        QCOMPARE(stored(QStringLiteral("recorderHost")).toString(), QStringLiteral("127.0.0.2"));
        QCOMPARE(stored(QStringLiteral("recorderPort")).toInt(), 8000);
        QCOMPARE(stored(QStringLiteral("recorderLogin")).toString(), QStringLiteral("admin"));
        QCOMPARE(stored(QStringLiteral("recorderType")).toInt(), 1);
        const QString cipher = stored(QStringLiteral("recorderPassword")).toString();
        QCOMPARE(cipher.size(), 32);
        QCOMPARE(KPasswordCipher::decipher(cipher), QStringLiteral("demo12345"));

        // A second run finds everything in place and writes nothing.
        QVERIFY(runTool(&output));
        QVERIFY(output.contains(QStringLiteral("nothing written")));
        QCOMPARE(stored(QStringLiteral("recorderPassword")).toString(), cipher);
    }

    void keepsTheOperatorsEntries()
    {
        const QString own = KPasswordCipher::encipher(QStringLiteral("mine"));
        preset({{QStringLiteral("recorderHost"), QStringLiteral("10.0.0.1")},
                {QStringLiteral("recorderType"), 7},
                {QStringLiteral("recorderPort"), 9000},
                {QStringLiteral("recorderLogin"), QStringLiteral("me")},
                {QStringLiteral("recorderPassword"), own}});
        QVERIFY(runTool());
        QCOMPARE(stored(QStringLiteral("recorderHost")).toString(), QStringLiteral("10.0.0.1"));
        QCOMPARE(stored(QStringLiteral("recorderType")).toInt(), 7);
        QCOMPARE(stored(QStringLiteral("recorderPort")).toInt(), 9000);
        QCOMPARE(stored(QStringLiteral("recorderLogin")).toString(), QStringLiteral("me"));
        QCOMPARE(stored(QStringLiteral("recorderPassword")).toString(), own);
    }

    void fillsOnlyTheGaps()
    {
        preset({{QStringLiteral("recorderHost"), QStringLiteral("10.0.0.1")},
                {QStringLiteral("recorderType"), 7}});
        QVERIFY(runTool());
        QCOMPARE(stored(QStringLiteral("recorderHost")).toString(), QStringLiteral("10.0.0.1"));
        QCOMPARE(stored(QStringLiteral("recorderType")).toInt(), 7);
        QCOMPARE(stored(QStringLiteral("recorderPort")).toInt(), 8000);
        QCOMPARE(stored(QStringLiteral("recorderLogin")).toString(), QStringLiteral("admin"));
        QCOMPARE(KPasswordCipher::decipher(stored(QStringLiteral("recorderPassword")).toString()),
                 QStringLiteral("demo12345"));
    }
};

QTEST_GUILESS_MAIN(tst_demosetup)
#include "tst_demosetup.moc"
