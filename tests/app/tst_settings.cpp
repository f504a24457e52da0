#include "KAppLogHandler.h"
#include "KSettings.h"

#include <QApplication>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace {

// A settings object of its own on a directory of the test's choosing.
class TestSettings : public KSettings
{
public:
    explicit TestSettings(const QString &applicationDir) : KSettings(applicationDir) {}
};

QSettings userStore()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tarnwick"),
                     QStringLiteral("Velmora Viewer"));
}

QString storeFileText()
{
    QFile file(userStore().fileName());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

// Every value read from "settings.xml", by field name.
QVariantMap installationValues(const KSettings &s)
{
    return {{QStringLiteral("connectionThreadLimit"), s.connectionThreadLimit()},
            {QStringLiteral("diagnosticsThreadLimit"), s.diagnosticsThreadLimit()},
            {QStringLiteral("videoThreadLimit"), s.videoThreadLimit()},
            {QStringLiteral("downloadThreadLimit"), s.downloadThreadLimit()},
            {QStringLiteral("settingsThreadLimit"), s.settingsThreadLimit()},
            {QStringLiteral("alarmsThreadLimit"), s.alarmsThreadLimit()},
            {QStringLiteral("archiveInfoThreadLimit"), s.archiveInfoThreadLimit()},
            {QStringLiteral("geotrackingThreadLimit"), s.geotrackingThreadLimit()},
            {QStringLiteral("modemConnectionTimeout"), s.modemConnectionTimeout()},
            {QStringLiteral("recorderConnectionTimeout"), s.recorderConnectionTimeout()},
            {QStringLiteral("connectionInterval"), s.connectionInterval()},
            {QStringLiteral("useProxy"), s.useProxy()},
            {QStringLiteral("useSharedTaskDb"), s.useSharedTaskDb()}};
}

QVariantMap defaultInstallationValues()
{
    return {{QStringLiteral("connectionThreadLimit"), 100},
            {QStringLiteral("diagnosticsThreadLimit"), 10},
            {QStringLiteral("videoThreadLimit"), 64},
            {QStringLiteral("downloadThreadLimit"), 10},
            {QStringLiteral("settingsThreadLimit"), 1},
            {QStringLiteral("alarmsThreadLimit"), 1},
            {QStringLiteral("archiveInfoThreadLimit"), 1},
            {QStringLiteral("geotrackingThreadLimit"), 10},
            {QStringLiteral("modemConnectionTimeout"), 2000},
            {QStringLiteral("recorderConnectionTimeout"), 2000},
            {QStringLiteral("connectionInterval"), 15000},
            {QStringLiteral("useProxy"), true},
            {QStringLiteral("useSharedTaskDb"), false}};
}

QVariantMap withChanges(QVariantMap values, const QVariantMap &changes)
{
    for (auto it = changes.cbegin(); it != changes.cend(); ++it)
        values.insert(it.key(), it.value());
    return values;
}

// Per-user getters by field name.
const std::map<QString, std::function<QVariant(const KSettings &)>> &userGetters()
{
    static const std::map<QString, std::function<QVariant(const KSettings &)>> getters = {
        {"userLogin", [](const KSettings &s) { return QVariant(s.currentUser().login); }},
        {"userPassword", [](const KSettings &s) { return QVariant(s.currentUser().password); }},
        {"DBHost", [](const KSettings &s) { return QVariant(s.dbHost()); }},
        {"localVideoPath", [](const KSettings &s) { return QVariant(s.localVideoPath()); }},
        {"remoteVideoPath", [](const KSettings &s) { return QVariant(s.remoteVideoPath()); }},
        {"downloadReliabilityMode",
         [](const KSettings &s) { return QVariant(s.downloadReliabilityMode()); }},
        {"defaultMapCenterLatitude",
         [](const KSettings &s) { return QVariant(s.defaultMapCenterLatitude()); }},
        {"defaultMapZoom", [](const KSettings &s) { return QVariant(s.defaultMapZoom()); }},
        {"eMailServerPort", [](const KSettings &s) { return QVariant(s.eMailServerPort()); }},
        {"alarmsEMailEnabled", [](const KSettings &s) { return QVariant(s.alarmsEMailEnabled()); }},
        {"downloadWindowEnabled",
         [](const KSettings &s) { return QVariant(s.downloadWindowEnabled()); }},
        {"downloadWindowStartTime",
         [](const KSettings &s) { return QVariant(s.downloadWindowStartTime()); }},
        {"downloadWindowStopTime",
         [](const KSettings &s) { return QVariant(s.downloadWindowStopTime()); }},
        {"recorderType", [](const KSettings &s) { return QVariant(s.recorderType()); }},
        {"recorderPort", [](const KSettings &s) { return QVariant(s.recorderPort()); }},
        {"recorderPassword", [](const KSettings &s) { return QVariant(s.recorderPassword()); }},
        {"windowMaximized", [](const KSettings &s) { return QVariant(s.windowMaximized()); }},
        {"autoLoad", [](const KSettings &s) { return QVariant(s.autoLoad()); }},
    };
    return getters;
}

} // namespace

class tst_Settings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void identity();
    void defaultsWithoutStoreOrFile();
    void startLinesInLog();
    void settingsFile_data();
    void settingsFile();
    void userStoreConversions_data();
    void userStoreConversions();
    void windowRectFromStore();
    void settersWriteStoreAtOnce();
    void currentUserIsNotWritten();
    void settersWhileWorkersRead();
    void styleSheetBuiltAndApplied();
    void themeColors();

private:
    void writeSettingsFile(const QByteArray &content);

    QScopedPointer<QTemporaryDir> m_dir;
};

void tst_Settings::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    {
        QSettings store = userStore();
        store.clear();
        store.sync();
    }
    QFile::remove(userStore().fileName());
    KSettings::setStyleSheetBuilder(nullptr);
}

void tst_Settings::writeSettingsFile(const QByteArray &content)
{
    QFile file(m_dir->path() + QStringLiteral("/settings.xml"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

void tst_Settings::identity()
{
    const TestSettings settings(m_dir->path());
    QCOMPARE(settings.brandTitle(), QStringLiteral("Tarnwick VMS"));
    QCOMPARE(settings.applicationName(), QStringLiteral("Velmora Viewer"));
    QCOMPARE(settings.applicationVersion(), QStringLiteral("190514 (64-bit)"));
    QCOMPARE(settings.iconPath(), QStringLiteral(":/vms_client.ico"));
    QCOMPARE(settings.objectLimit(), 2048);
    QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Tarnwick"));
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Velmora Viewer"));
    QCOMPARE(QCoreApplication::applicationVersion(), QStringLiteral("190514 (64-bit)"));

    QCOMPARE(KSettings::recorderTypeName(1), QStringLiteral("MTR-HD"));
    QCOMPARE(KSettings::recorderTypeName(0), QStringLiteral("Неизвестный тип"));
    QCOMPARE(KSettings::recorderTypeName(2), QStringLiteral("Неизвестный тип"));
    QCOMPARE(KSettings::recorderTypeName(-1), QStringLiteral("Неизвестный тип"));
}

void tst_Settings::defaultsWithoutStoreOrFile()
{
    QVERIFY(!QFile::exists(userStore().fileName()));
    const QString dir = m_dir->path();
    const TestSettings settings(dir);

    QCOMPARE(installationValues(settings), defaultInstallationValues());
    QCOMPARE(settings.localVideoPath(), dir + QStringLiteral("//videos"));
    QCOMPARE(settings.localTaskPath(), dir + QStringLiteral("//tasks"));
    QCOMPARE(settings.localSnapshotsPath(), dir + QStringLiteral("//snapshots"));
    QCOMPARE(settings.remoteSnapshotsPath(), dir + QStringLiteral("//snapshots"));
    QVERIFY(settings.remoteVideoPath().isEmpty());
    QCOMPARE(settings.dbHost(), QStringLiteral("localhost"));
    QCOMPARE(settings.diagnosticsFileSavePath(), QStringLiteral("C://"));
    QCOMPARE(settings.alarmFileSavePath(), QStringLiteral("C://"));
    QCOMPARE(settings.downloadReliabilityMode(), 1);
    QCOMPARE(settings.defaultMapCenterLongitude(), 30.1);
    QCOMPARE(settings.defaultMapCenterLatitude(), 59.95);
    QCOMPARE(settings.defaultMapZoom(), 2400);
    QCOMPARE(settings.snapshotInterval(), 900000);
    QCOMPARE(settings.alarmsStorageInterval(), 730);
    QCOMPARE(settings.connectionTrackingStorageInterval(), 14);
    QCOMPARE(settings.downloadWindowStartTime(), QTime(8, 0, 0));
    QCOMPARE(settings.downloadWindowStopTime(), QTime(17, 0, 0));
    QCOMPARE(settings.objectCycleInterval(), 30000);
    QCOMPARE(settings.recorderType(), 1);
    QCOMPARE(settings.recorderPort(), 0);
    QVERIFY(settings.recorderHost().isEmpty());
    QVERIFY(!settings.windowMaximized());
    QVERIFY(!settings.autoLoad());
    QCOMPARE(settings.currentUser().role, 4);
    QVERIFY(settings.currentUser().login.isEmpty());

    QCOMPARE(settings.windowRect(), QRect(2, 0, 1280, 720));
    const QVector<QRect> sizes{QRect(0, 0, 1680, 900), QRect(1, 0, 1440, 800),
                               QRect(2, 0, 1280, 720)};
    QCOMPARE(settings.windowSizes(), sizes);

    // Reading writes nothing.
    QVERIFY(!QFile::exists(userStore().fileName()));
}

void tst_Settings::startLinesInLog()
{
    const QString logPath = KAppLogHandler::instance()->filePath();
    QFile::remove(logPath);
    {
        const TestSettings settings(m_dir->path());
    }
    QFile file(logPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines.at(2).isEmpty());
    QCOMPARE(lines.at(0).mid(22),
             QStringLiteral("Приложение запущено: Velmora Viewer v190514 (64-bit) "
                            "===================>"));
    QCOMPARE(lines.at(1).mid(22), QStringLiteral("Версия приложения: выпуск"));
    file.close();
    QFile::remove(logPath);
}

void tst_Settings::settingsFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QVariantMap>("expected");

    const QVariantMap defaults = defaultInstallationValues();

    QTest::newRow("shipped file") << QByteArray() << defaults;

    QTest::newRow("every value changed")
        << QByteArray(
               "<?xml version=\"1.0\"?>\n<settings>\n"
               " <connection_data>\n"
               "  <connection_timeout type=\"modem\">3000</connection_timeout>\n"
               "  <connection_timeout type=\"recorder\">4000</connection_timeout>\n"
               "  <connection_interval>20000</connection_interval>\n"
               "  <use_proxy>false</use_proxy>\n"
               " </connection_data>\n"
               " <startup_data><use_shared_task_db>true</use_shared_task_db></startup_data>\n"
               " <thread_limits>\n"
               "  <limit type=\"connection\">11</limit><limit type=\"diagnostics\">12</limit>\n"
               "  <limit type=\"video\">13</limit><limit type=\"download\">14</limit>\n"
               "  <limit type=\"settings\">15</limit><limit type=\"alarms\">16</limit>\n"
               "  <limit type=\"archive_info\">17</limit><limit type=\"geotracking\">18</limit>\n"
               " </thread_limits>\n</settings>\n")
        << QVariantMap{{"connectionThreadLimit", 11},    {"diagnosticsThreadLimit", 12},
                       {"videoThreadLimit", 13},         {"downloadThreadLimit", 14},
                       {"settingsThreadLimit", 15},      {"alarmsThreadLimit", 16},
                       {"archiveInfoThreadLimit", 17},   {"geotrackingThreadLimit", 18},
                       {"modemConnectionTimeout", 3000}, {"recorderConnectionTimeout", 4000},
                       {"connectionInterval", 20000},    {"useProxy", false},
                       {"useSharedTaskDb", true}};

    QTest::newRow("non-numeric video limit gives 0")
        << QByteArray("<s><thread_limits><limit type=\"video\">many</limit></thread_limits></s>")
        << withChanges(defaults, {{"videoThreadLimit", 0}});

    QTest::newRow("empty interval gives 0")
        << QByteArray("<s><connection_data><connection_interval/></connection_data></s>")
        << withChanges(defaults, {{"connectionInterval", 0}});

    QTest::newRow("use_proxy other text keeps true")
        << QByteArray("<s><connection_data><use_proxy>yes</use_proxy></connection_data></s>")
        << defaults;

    QTest::newRow("use_proxy other text keeps false")
        << QByteArray("<s><connection_data><use_proxy>false</use_proxy>"
                      "<use_proxy>TRUE</use_proxy></connection_data></s>")
        << withChanges(defaults, {{"useProxy", false}});

    QTest::newRow("unknown types and elements ignored")
        << QByteArray("<s><connection_data><connection_timeout type=\"gps\">1</connection_timeout>"
                      "<connection_timeout>2</connection_timeout><other>3</other>"
                      "</connection_data><thread_limits><limit type=\"audio\">4</limit>"
                      "<limit>5</limit><cap type=\"video\">6</cap></thread_limits></s>")
        << defaults;

    QTest::newRow("sections at any depth")
        << QByteArray("<a><b><c><thread_limits><limit type=\"download\">3</limit></thread_limits>"
                      "</c></b><startup_data><x><use_shared_task_db>true</use_shared_task_db>"
                      "</x></startup_data></a>")
        << withChanges(defaults, {{"downloadThreadLimit", 3}, {"useSharedTaskDb", true}});

    QTest::newRow("elements outside their section ignored")
        << QByteArray(
               "<s><limit type=\"video\">5</limit><connection_interval>7</connection_interval>"
               "<use_proxy>false</use_proxy><startup_data/>"
               "<use_shared_task_db>true</use_shared_task_db></s>")
        << defaults;

    QTest::newRow("parse error keeps what was read")
        << QByteArray("<s><thread_limits><limit type=\"video\">5</limit><limit type=\"download\">"
                      "7</limit><limit type=\"alarms\">8<</limit></thread_limits>"
                      "<connection_data><connection_interval>9</connection_interval>"
                      "</connection_data></s>")
        << withChanges(defaults, {{"videoThreadLimit", 5}, {"downloadThreadLimit", 7}});

    QTest::newRow("not xml at all") << QByteArray("limit=5\n") << defaults;
}

void tst_Settings::settingsFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QVariantMap, expected);

    if (content.isEmpty()) {
        // The file the build puts beside the program holds every option at its default.
        QFile shipped(QStringLiteral(VELMORA_BIN_DIR "/settings.xml"));
        QVERIFY(shipped.open(QIODevice::ReadOnly));
        content = shipped.readAll();
        QCOMPARE(content.count("<limit type="), 8);
        QCOMPARE(content.count("<connection_timeout type="), 2);
        QVERIFY(content.contains("<use_proxy>true</use_proxy>"));
        QVERIFY(content.contains("<use_shared_task_db>false</use_shared_task_db>"));
    }
    writeSettingsFile(content);
    const TestSettings settings(m_dir->path());
    const QVariantMap actual = installationValues(settings);
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const QString message = it.key() + QStringLiteral(": ") + actual.value(it.key()).toString();
        QVERIFY2(actual.value(it.key()) == it.value(), qPrintable(message));
    }
    QCOMPARE(actual.size(), expected.size());
}

void tst_Settings::userStoreConversions_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("login") << "userLogin"
                           << "оператор" << QVariant(QStringLiteral("оператор"));
    QTest::newRow("ascii password") << "userPassword"
                                    << "secret-1" << QVariant("secret-1");
    // Stored as the Latin-1 reading of UTF-8 bytes; read back as the UTF-8 text.
    QTest::newRow("password through Latin-1")
        << "userPassword" << QString::fromLatin1(QStringLiteral("пароль").toUtf8())
        << QVariant(QStringLiteral("пароль"));
    QTest::newRow("db host") << "DBHost"
                             << "10.1.2.3" << QVariant("10.1.2.3");
    QTest::newRow("empty text keeps default") << "DBHost"
                                              << "" << QVariant("localhost");
    QTest::newRow("video path") << "localVideoPath"
                                << "/srv/video" << QVariant("/srv/video");
    QTest::newRow("integer") << "downloadReliabilityMode"
                             << "3" << QVariant(3);
    QTest::newRow("integer not a number") << "downloadReliabilityMode"
                                          << "abc" << QVariant(0);
    QTest::newRow("negative integer") << "eMailServerPort"
                                      << "-25" << QVariant(-25);
    QTest::newRow("port") << "recorderPort"
                          << "8000" << QVariant(8000);
    QTest::newRow("type") << "recorderType"
                          << "2" << QVariant(2);
    QTest::newRow("double") << "defaultMapCenterLatitude"
                            << "60.25" << QVariant(60.25);
    QTest::newRow("double with comma") << "defaultMapCenterLatitude"
                                       << "60,25" << QVariant(0.0);
    QTest::newRow("bool 1") << "alarmsEMailEnabled"
                            << "1" << QVariant(true);
    QTest::newRow("bool 2") << "downloadWindowEnabled"
                            << "2" << QVariant(true);
    QTest::newRow("bool 0") << "alarmsEMailEnabled"
                            << "0" << QVariant(false);
    QTest::newRow("bool as word") << "alarmsEMailEnabled"
                                  << "true" << QVariant(false);
    QTest::newRow("maximized") << "windowMaximized"
                               << "1" << QVariant(true);
    QTest::newRow("time") << "downloadWindowStartTime"
                          << "09.30.15" << QVariant(QTime(9, 30, 15));
    QTest::newRow("time with colons is invalid") << "downloadWindowStartTime"
                                                 << "08:00:00" << QVariant(QTime());
    QTest::newRow("stop time out of range") << "downloadWindowStopTime"
                                            << "25.00.00" << QVariant(QTime());
    QTest::newRow("autoLoad 1") << "autoLoad"
                                << "1" << QVariant(true);
    QTest::newRow("autoLoad 0") << "autoLoad"
                                << "0" << QVariant(false);
    QTest::newRow("autoLoad as word true") << "autoLoad"
                                           << "true" << QVariant(true);
    QTest::newRow("autoLoad as word false") << "autoLoad"
                                            << "false" << QVariant(false);
    QTest::newRow("enciphered password unchanged") << "recorderPassword"
                                                   << "q8V+Zx0/Aa==" << QVariant("q8V+Zx0/Aa==");
}

void tst_Settings::userStoreConversions()
{
    QFETCH(QString, key);
    QFETCH(QString, text);
    QFETCH(QVariant, expected);
    {
        QSettings store = userStore();
        store.setValue(key, text);
        store.sync();
    }
    const TestSettings settings(m_dir->path());
    const QVariant actual = userGetters().at(key)(settings);
    QCOMPARE(actual, expected);
}

void tst_Settings::windowRectFromStore()
{
    {
        QSettings store = userStore();
        store.setValue(QStringLiteral("windowID"), QStringLiteral("1"));
        store.setValue(QStringLiteral("windowWidth"), QStringLiteral("1440"));
        store.setValue(QStringLiteral("windowHeight"), QStringLiteral("800"));
    }
    QCOMPARE(TestSettings(m_dir->path()).windowRect(), QRect(1, 0, 1440, 800));

    // Only the identifier stored: the size stays that of the default entry.
    {
        QSettings store = userStore();
        store.clear();
        store.setValue(QStringLiteral("windowID"), QStringLiteral("0"));
    }
    QCOMPARE(TestSettings(m_dir->path()).windowRect(), QRect(0, 0, 1280, 720));
}

void tst_Settings::settersWriteStoreAtOnce()
{
    {
        TestSettings settings(m_dir->path());
        settings.setWindowMaximized(true);
        QVERIFY(settings.windowMaximized());
        QVERIFY(storeFileText().contains(QStringLiteral("windowMaximized=1")));
        settings.setWindowRect(QRect(1, 0, 1440, 800));
        settings.setLocalVideoPath(QStringLiteral("/data/видео"));
        settings.setRemoteVideoPath(QStringLiteral("//server/share"));
        settings.setLocalSnapshotsPath(QStringLiteral("/data/snapshots"));
        settings.setDownloadReliabilityMode(0);
        settings.setRecorderType(1);
        settings.setRecorderHost(QStringLiteral("127.0.0.2"));
        settings.setRecorderPort(8000);
        settings.setRecorderLogin(QStringLiteral("admin"));
        settings.setRecorderPassword(QStringLiteral("3q2+7w=="));
        QCOMPARE(settings.windowRect(), QRect(1, 0, 1440, 800));
    }

    // On disk, integers as integers.
    const QString text = storeFileText();
    for (const char *entry : {"windowMaximized=1", "windowWidth=1440", "windowHeight=800",
                              "windowID=1", "downloadReliabilityMode=0", "recorderPort=8000",
                              "recorderType=1", "recorderLogin=admin"})
        QVERIFY2(text.contains(QLatin1String(entry)), entry);

    const TestSettings fresh(m_dir->path());
    QVERIFY(fresh.windowMaximized());
    QCOMPARE(fresh.windowRect(), QRect(1, 0, 1440, 800));
    QCOMPARE(fresh.localVideoPath(), QStringLiteral("/data/видео"));
    QCOMPARE(fresh.remoteVideoPath(), QStringLiteral("//server/share"));
    QCOMPARE(fresh.localSnapshotsPath(), QStringLiteral("/data/snapshots"));
    QCOMPARE(fresh.downloadReliabilityMode(), 0);
    QCOMPARE(fresh.recorderHost(), QStringLiteral("127.0.0.2"));
    QCOMPARE(fresh.recorderPort(), 8000);
    QCOMPARE(fresh.recorderLogin(), QStringLiteral("admin"));
    QCOMPARE(fresh.recorderPassword(), QStringLiteral("3q2+7w=="));

    // false is stored as 0 and reads back as false.
    {
        TestSettings settings(m_dir->path());
        settings.setWindowMaximized(false);
    }
    QVERIFY(storeFileText().contains(QStringLiteral("windowMaximized=0")));
    QVERIFY(!TestSettings(m_dir->path()).windowMaximized());
}

void tst_Settings::currentUserIsNotWritten()
{
    TestSettings settings(m_dir->path());
    KUserData user;
    user.id = 5;
    user.role = 1;
    user.login = QStringLiteral("dispatcher");
    user.password = QStringLiteral("pw");
    user.group.id = 3;
    settings.setCurrentUser(user);
    QCOMPARE(settings.currentUser().login, QStringLiteral("dispatcher"));
    QCOMPARE(settings.currentUser().role, 1);
    QCOMPARE(settings.currentUser().group.id, 3);
    QVERIFY(!QFile::exists(userStore().fileName()));
    QVERIFY(TestSettings(m_dir->path()).currentUser().login.isEmpty());
}

void tst_Settings::settersWhileWorkersRead()
{
    TestSettings settings(m_dir->path());
    const QStringList paths{QStringLiteral("/data/видео/первый-путь-достаточно-длинный"),
                            QStringLiteral("/mnt/second")};
    settings.setLocalVideoPath(paths.first());

    QAtomicInt stop(0);
    QAtomicInt foreign(0);
    QAtomicInt reads(0);
    std::vector<std::unique_ptr<QThread>> readers;
    for (int i = 0; i < 3; ++i) {
        readers.emplace_back(QThread::create([&] {
            while (!stop.loadAcquire()) {
                const QString path = settings.localVideoPath();
                const QRect rect = settings.windowRect();
                if (!paths.contains(path) || (rect.width() != 1280 && rect.width() != 1440))
                    foreign.fetchAndAddOrdered(1);
                reads.fetchAndAddOrdered(1);
            }
        }));
        readers.back()->start();
    }
    for (int i = 0; i < 200; ++i) {
        settings.setLocalVideoPath(paths.at(i % 2));
        settings.setWindowRect(i % 2 ? QRect(2, 0, 1280, 720) : QRect(1, 0, 1440, 800));
    }
    QTRY_VERIFY_WITH_TIMEOUT(reads.loadAcquire() > 1000, 10000);
    stop.storeRelease(1);
    for (auto &reader : readers)
        QVERIFY(reader->wait(10000));
    QCOMPARE(foreign.loadAcquire(), 0);
}

void tst_Settings::styleSheetBuiltAndApplied()
{
    QStringList received;
    KSettings::setStyleSheetBuilder([&received](const QStringList &colours) {
        received = colours;
        return QStringLiteral("QLabel { color: %1; background: %2; }")
            .arg(colours.at(9), colours.at(0));
    });
    qApp->setStyleSheet(QString());
    const TestSettings settings(m_dir->path());
    KSettings::setStyleSheetBuilder(nullptr);

    QCOMPARE(received.size(), 20);
    const QString expected = QStringLiteral("QLabel { color: #333333; background: #efefef; }");
    QCOMPARE(settings.styleSheet(), expected);
    QCOMPARE(qApp->styleSheet(), expected);

    // Without a builder nothing is built or applied.
    qApp->setStyleSheet(QString());
    const TestSettings plain(m_dir->path());
    QVERIFY(plain.styleSheet().isEmpty());
    QVERIFY(qApp->styleSheet().isEmpty());
}

void tst_Settings::themeColors()
{
    const TestSettings settings(m_dir->path());
    const QStringList colours = settings.themeColors();
    QCOMPARE(colours.size(), 20);
    QCOMPARE(settings.themeColor(1), QStringLiteral("#efefef"));
    QCOMPARE(settings.themeColor(5), QStringLiteral("#aaaaaa"));
    QCOMPARE(settings.themeColor(7), QStringLiteral("#9bccfd"));
    QCOMPARE(settings.themeColor(10), QStringLiteral("#333333"));
    QCOMPARE(settings.themeColor(14), QStringLiteral("#64ff64"));
    QCOMPARE(settings.themeColor(16), QStringLiteral("#ff6464"));
    QCOMPARE(settings.themeColor(19), QStringLiteral("#00aa00"));
    QCOMPARE(settings.themeColor(20), QStringLiteral("#aa0000"));
    QVERIFY(settings.themeColor(0).isEmpty());
    QVERIFY(settings.themeColor(21).isEmpty());
    for (int i = 1; i <= 20; ++i)
        QCOMPARE(settings.themeColor(i), colours.at(i - 1));
}

int main(int argc, char **argv)
{
    // A store of our own even when started by hand, so the real one is never touched.
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    tst_Settings test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_settings.moc"
