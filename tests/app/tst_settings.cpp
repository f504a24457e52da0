#include "KSettings.h"

#include <QApplication>
#include <QDateEdit>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A settings object of its own on a directory of the test's choosing.
struct TestSettings : KSettings
{
    explicit TestSettings(const QString &applicationDir) : KSettings(applicationDir) {}
};

QSettings userStore()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, "Tarnwick", "Velmora Viewer");
}

// Every value read from "settings.xml", in a fixed order.
QVariantList installationValues(const KSettings &s)
{
    return {s.connectionThreadLimit(),  s.diagnosticsThreadLimit(),
            s.videoThreadLimit(),       s.downloadThreadLimit(),
            s.settingsThreadLimit(),    s.alarmsThreadLimit(),
            s.archiveInfoThreadLimit(), s.geotrackingThreadLimit(),
            s.modemConnectionTimeout(), s.recorderConnectionTimeout(),
            s.connectionInterval(),     s.useProxy(),
            s.useSharedTaskDb(),        s.databaseType(),
            s.databasePort(),           s.databaseName(),
            s.databasePasswordFile()};
}

const QVariantList defaults{100,  10,    64,   10,    1,        1,    1,         10, 2000,
                            2000, 15000, true, false, "sqlite", 5432, "velmora", ""};

QVariantList changed(QVariantList values, int index, const QVariant &value)
{
    values[index] = value;
    return values;
}

QVariant userValue(const KSettings &s, const QString &key)
{
    const QMap<QString, QVariant> values{{"userPassword", s.currentUser().password},
                                         {"DBHost", s.dbHost()},
                                         {"downloadReliabilityMode", s.downloadReliabilityMode()},
                                         {"alarmsEMailEnabled", s.alarmsEMailEnabled()},
                                         {"autoLoad", s.autoLoad()},
                                         {"downloadWindowStartTime", s.downloadWindowStartTime()}};
    return values.value(key);
}

} // namespace

class tst_Settings : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir.reset(new QTemporaryDir);
        userStore().clear();
        QFile::remove(userStore().fileName());
    }

    void settingsFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QVariantList>("expected");
        QTest::newRow("every value changed")
            << QByteArray(
                   "<settings><connection_data>"
                   "<connection_timeout type=\"modem\">3000</connection_timeout>"
                   "<connection_timeout type=\"recorder\">4000</connection_timeout>"
                   "<connection_interval>20000</connection_interval>"
                   "<use_proxy>false</use_proxy></connection_data>"
                   "<startup_data><use_shared_task_db>true</use_shared_task_db></startup_data>"
                   "<thread_limits><limit type=\"connection\">11</limit>"
                   "<limit type=\"diagnostics\">12</limit><limit type=\"video\">13</limit>"
                   "<limit type=\"download\">14</limit><limit type=\"settings\">15</limit>"
                   "<limit type=\"alarms\">16</limit><limit type=\"archive_info\">17</limit>"
                   "<limit type=\"geotracking\">18</limit></thread_limits>"
                   "<database type=\"postgresql\"><port>6543</port><name>fleet</name>"
                   "<password_file>/etc/velmora/pgpass</password_file></database></settings>")
            << QVariantList{11,
                            12,
                            13,
                            14,
                            15,
                            16,
                            17,
                            18,
                            3000,
                            4000,
                            20000,
                            false,
                            true,
                            "postgresql",
                            6543,
                            "fleet",
                            "/etc/velmora/pgpass"};
        QTest::newRow("unknown database type keeps sqlite")
            << QByteArray("<s><database type=\"oracle\"><name> </name></database></s>") << defaults;
        QTest::newRow("non-numeric video limit gives 0")
            << QByteArray(
                   "<s><thread_limits><limit type=\"video\">many</limit></thread_limits></s>")
            << changed(defaults, 2, 0);
        QTest::newRow("parse error keeps what was read")
            << QByteArray(
                   "<s><thread_limits><limit type=\"video\">5</limit><limit type=\"alarms\">8<"
                   "</limit></thread_limits><connection_data><connection_interval>9"
                   "</connection_interval></connection_data></s>")
            << changed(defaults, 2, 5);
    }

    // Whatever the system's locale, date editors made after start-up name Russian months.
    void interfaceIsRussian()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        TestSettings settings(m_dir->path());
        QDateEdit edit(QDate(2026, 5, 7));
        edit.setDisplayFormat("dd MMMM yyyy");
        QCOMPARE(edit.text(), QString("07 мая 2026"));
    }

    void settingsFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(QVariantList, expected);
        QFile file(m_dir->filePath("settings.xml"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.close();
        QCOMPARE(installationValues(TestSettings(m_dir->path())), expected);
    }

    void userStoreConversions_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QVariant>("expected");
        auto row = [](const char *tag, const char *key, const QString &text, const QVariant &v) {
            QTest::newRow(tag) << QString::fromLatin1(key) << text << v;
        };
        // Stored as the Latin-1 reading of UTF-8 bytes; read back as the UTF-8 text.
        row("password through Latin-1", "userPassword",
            QString::fromLatin1(QStringLiteral("пароль").toUtf8()), QStringLiteral("пароль"));
        // Escaped in the store and decoded by it: taken as it is, not folded to Latin-1.
        row("password already decoded", "userPassword", QStringLiteral("пароль"),
            QStringLiteral("пароль"));
        row("empty text keeps default", "DBHost", "", "localhost");
        row("integer not a number", "downloadReliabilityMode", "abc", 0);
        row("bool as word", "alarmsEMailEnabled", "true", false);
        row("autoLoad as word", "autoLoad", "true", true);
        row("time", "downloadWindowStartTime", "09.30.15", QTime(9, 30, 15));
    }

    void userStoreConversions()
    {
        QFETCH(QString, key);
        QFETCH(QString, text);
        QFETCH(QVariant, expected);
        userStore().setValue(key, text);
        QCOMPARE(userValue(TestSettings(m_dir->path()), key), expected);
    }

    // Reading writes nothing; a value set is written at once (the flag as an integer).
    void writesOnlyWhatIsSet()
    {
        QCOMPARE(TestSettings(m_dir->path()).localVideoPath(), m_dir->path() + "//videos");
        QVERIFY(!QFile::exists(userStore().fileName()));
        for (const bool maximized : {true, false}) {
            TestSettings(m_dir->path()).setWindowMaximized(maximized);
            QFile file(userStore().fileName());
            QVERIFY(file.open(QIODevice::ReadOnly) &&
                    file.readAll().contains(maximized ? "windowMaximized=1" : "windowMaximized=0"));
            QCOMPARE(TestSettings(m_dir->path()).windowMaximized(), maximized);
        }
    }

private:
    QScopedPointer<QTemporaryDir> m_dir;
};

int main(int argc, char **argv)
{
    // A store of our own even when started by hand, so the real one is never touched.
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit());
    // Offscreen only without an X server: its plugin leaks, which the sanitized run reports.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    tst_Settings test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_settings.moc"
