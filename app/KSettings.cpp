#include "KSettings.h"

#include "KAppLogHandler.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocale>
#include <QMetaObject>
#include <QMutexLocker>
#include <QSettings>
#include <QXmlStreamReader>

#include <algorithm>

namespace {

const char *const organisationName = "Tarnwick";

KSettings::StyleSheetBuilder &styleSheetBuilder()
{
    static KSettings::StyleSheetBuilder builder;
    return builder;
}

// Decimal text to int; text that is not a number gives 0.
int toInt(const QString &text)
{
    return text.toInt();
}

// The element's text as a number; an element cut short by a parse error changes nothing.
void readNumber(QXmlStreamReader &xml, int &field)
{
    const QString text = xml.readElementText();
    if (!xml.hasError())
        field = toInt(text);
}

// "true" and "false" set the flag; any other text leaves it as it was.
void readFlag(QXmlStreamReader &xml, bool &flag)
{
    const QString text = xml.readElementText();
    if (xml.hasError())
        return;
    if (text == QLatin1String("true"))
        flag = true;
    else if (text == QLatin1String("false"))
        flag = false;
}

// "yyMMdd (64-bit)" of the release date.
QString versionText(int year, int month, int day)
{
    return QStringLiteral("%1%2%3 (64-bit)")
        .arg(year % 100, 2, 10, QLatin1Char('0'))
        .arg(month, 2, 10, QLatin1Char('0'))
        .arg(day, 2, 10, QLatin1Char('0'));
}

} // namespace

KSettings *KSettings::instance()
{
    static KSettings settings(QCoreApplication::applicationDirPath());
    return &settings;
}

void KSettings::setStyleSheetBuilder(StyleSheetBuilder builder)
{
    styleSheetBuilder() = std::move(builder);
}

QString KSettings::recorderTypeName(int type)
{
    if (type == 1)
        return QStringLiteral("MTR-HD");
    return QStringLiteral("Неизвестный тип");
}

KSettings::KSettings(const QString &applicationDir, QObject *parent)
    : QObject(parent), m_applicationDir(applicationDir),
      m_applicationVersion(versionText(2019, 5, 14)),
      m_localVideoPath(applicationDir + QStringLiteral("//videos")),
      m_localTaskPath(applicationDir + QStringLiteral("//tasks")),
      m_localSnapshotsPath(applicationDir + QStringLiteral("//snapshots")),
      m_remoteSnapshotsPath(m_localSnapshotsPath)
{
    const char *const colours[] = {"#efefef", "#333333", "#ffffff", "#fefefe", "#aaaaaa",
                                   "#cccccc", "#9bccfd", "#40a0ff", "#dddddd", "#333333",
                                   "#bbbbbb", "#ffffff", "#aaaaaa", "#64ff64", "#ffff64",
                                   "#ff6464", "#ffffff", "#cccccc", "#00aa00", "#aa0000"};
    for (const char *colour : colours)
        m_themeColors.append(QLatin1String(colour));

    // The interface is Russian whatever the system's locale: month names in date editors and
    // calendars, day names, number formats.
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    QCoreApplication::setOrganizationName(QLatin1String(organisationName));
    QCoreApplication::setApplicationName(m_applicationName);
    QCoreApplication::setApplicationVersion(m_applicationVersion);

    KAppLogHandler::instance()->write(QStringLiteral("Приложение запущено: ") + m_applicationName +
                                      QStringLiteral(" v") + m_applicationVersion +
                                      QStringLiteral(" ===================>"));
    KAppLogHandler::instance()->write(QStringLiteral("Версия приложения: выпуск"));

    readUserStore();
    readSettingsFile(m_applicationDir + QStringLiteral("/settings.xml"));
    applyStyleSheet();
}

KSettings::~KSettings() = default;

void KSettings::readUserStore()
{
    QSettings userStore(QSettings::NativeFormat, QSettings::UserScope,
                        QLatin1String(organisationName), m_applicationName);
    const auto text = [&userStore](const char *key) {
        return userStore.value(QLatin1String(key)).toString();
    };
    const auto readString = [&text](const char *key, QString &field) {
        const QString value = text(key);
        if (!value.isEmpty())
            field = value;
    };
    const auto readInt = [&text](const char *key, int &field) {
        const QString value = text(key);
        if (!value.isEmpty())
            field = toInt(value);
    };
    const auto readBool = [&text](const char *key, bool &field) {
        const QString value = text(key);
        if (!value.isEmpty())
            field = toInt(value) != 0;
    };
    const auto readDouble = [&text](const char *key, double &field) {
        const QString value = text(key);
        if (!value.isEmpty())
            field = value.toDouble(); // C locale: "." separates the fraction
    };
    const auto readTime = [&text](const char *key, QTime &field) {
        const QString value = text(key);
        if (!value.isEmpty())
            field = QTime::fromString(value, QStringLiteral("HH.mm.ss"));
    };

    QMutexLocker locker(&m_mutex);
    readString("userLogin", m_currentUser.login);
    const QString password = text("userPassword");
    if (!password.isEmpty()) {
        // Raw UTF-8 bytes in the store read as Latin-1 text; a text the store itself
        // decoded (escaped non-Latin-1 characters) is already right and must not be folded
        // to Latin-1, which would turn it into question marks.
        const bool latin1 = std::all_of(password.cbegin(), password.cend(),
                                        [](QChar c) { return c.unicode() < 0x100; });
        m_currentUser.password = latin1 ? QString::fromUtf8(password.toLatin1()) : password;
    }
    readString("DBHost", m_dbHost);
    readString("localVideoPath", m_localVideoPath);
    readString("remoteVideoPath", m_remoteVideoPath);
    readString("localTaskPath", m_localTaskPath);
    readString("localSnapshotsPath", m_localSnapshotsPath);
    readString("remoteSnapshotsPath", m_remoteSnapshotsPath);
    readInt("downloadReliabilityMode", m_downloadReliabilityMode);
    readString("diagnosticsFileSavePath", m_diagnosticsFileSavePath);
    readString("geoTrackingFileSavePath", m_geoTrackingFileSavePath);
    readString("recorderConfigFileSavePath", m_recorderConfigFileSavePath);
    readString("pasCountFileSavePath", m_pasCountFileSavePath);
    readString("alarmFileSavePath", m_alarmFileSavePath);
    readDouble("defaultMapCenterLongitude", m_defaultMapCenterLongitude);
    readDouble("defaultMapCenterLatitude", m_defaultMapCenterLatitude);
    readInt("defaultMapZoom", m_defaultMapZoom);
    readString("eMailServerHost", m_eMailServerHost);
    readInt("eMailServerPort", m_eMailServerPort);
    readInt("eMailServerConnectionType", m_eMailServerConnectionType);
    readString("eMailServerLogin", m_eMailServerLogin);
    readString("eMailServerPassword", m_eMailServerPassword);
    readString("eMailClientLogin", m_eMailClientLogin);
    readInt("snapshotInterval", m_snapshotInterval);
    readInt("alarmsStorageInterval", m_alarmsStorageInterval);
    readBool("alarmsEMailEnabled", m_alarmsEMailEnabled);
    readBool("alarmsRecorderListeningEnabled", m_alarmsRecorderListeningEnabled);
    readInt("diagnosticsStorageInterval", m_diagnosticsStorageInterval);
    readInt("connectionTrackingStorageInterval", m_connectionTrackingStorageInterval);
    readInt("geoTrackingStorageInterval", m_geoTrackingStorageInterval);
    readBool("geopositionOSDEnabled", m_geopositionOSDEnabled);
    readBool("downloadWindowEnabled", m_downloadWindowEnabled);
    readTime("downloadWindowStartTime", m_downloadWindowStartTime);
    readTime("downloadWindowStopTime", m_downloadWindowStopTime);
    readInt("objectCycleInterval", m_objectCycleInterval);
    readInt("recorderType", m_recorderType);
    readString("recorderHost", m_recorderHost);
    readInt("recorderPort", m_recorderPort);
    readString("recorderLogin", m_recorderLogin);
    readString("recorderPassword", m_recorderPassword);
    int windowValue = 0;
    if (!text("windowID").isEmpty()) {
        readInt("windowID", windowValue);
        m_windowRect.moveLeft(windowValue);
    }
    if (!text("windowWidth").isEmpty()) {
        readInt("windowWidth", windowValue);
        m_windowRect.setWidth(windowValue);
    }
    if (!text("windowHeight").isEmpty()) {
        readInt("windowHeight", windowValue);
        m_windowRect.setHeight(windowValue);
    }
    readBool("windowMaximized", m_windowMaximized);
    if (!text("autoLoad").isEmpty()) {
        readBool("autoLoad", m_autoLoad);
        // Stored by older releases as "true"/"false": the store's own reading decides.
        m_autoLoad = userStore.value(QStringLiteral("autoLoad")).toBool();
    }
}

void KSettings::readSettingsFile(const QString &filePath)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd() && !xml.hasError()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("connection_data"))
            readConnectionData(xml);
        else if (xml.name() == QLatin1String("startup_data"))
            readStartupData(xml);
        else if (xml.name() == QLatin1String("thread_limits"))
            readThreadLimits(xml);
        else if (xml.name() == QLatin1String("database"))
            readDatabase(xml);
    }
}

void KSettings::readDatabase(QXmlStreamReader &xml)
{
    // An unknown type keeps the embedded database rather than guessing a server.
    const QStringRef type = xml.attributes().value(QLatin1String("type"));
    if (type == QLatin1String("sqlite") || type == QLatin1String("postgresql"))
        m_databaseType = type.toString();
    while (!xml.atEnd() && !xml.hasError()) {
        xml.readNext();
        if (xml.isEndElement() && xml.name() == QLatin1String("database"))
            return;
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("port")) {
            readNumber(xml, m_databasePort);
        } else if (xml.name() == QLatin1String("name")) {
            const QString text = xml.readElementText().trimmed();
            if (!xml.hasError() && !text.isEmpty())
                m_databaseName = text;
        } else if (xml.name() == QLatin1String("password_file")) {
            const QString text = xml.readElementText().trimmed();
            if (!xml.hasError())
                m_databasePasswordFile = text;
        }
    }
}

void KSettings::readConnectionData(QXmlStreamReader &xml)
{
    while (!xml.atEnd() && !xml.hasError()) {
        xml.readNext();
        if (xml.isEndElement() && xml.name() == QLatin1String("connection_data"))
            return;
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("connection_timeout")) {
            const QString type = xml.attributes().value(QLatin1String("type")).toString();
            if (type == QLatin1String("modem"))
                readNumber(xml, m_modemConnectionTimeout);
            else if (type == QLatin1String("recorder"))
                readNumber(xml, m_recorderConnectionTimeout);
        } else if (xml.name() == QLatin1String("connection_interval")) {
            readNumber(xml, m_connectionInterval);
        } else if (xml.name() == QLatin1String("use_proxy")) {
            readFlag(xml, m_useProxy);
        }
    }
}

void KSettings::readStartupData(QXmlStreamReader &xml)
{
    while (!xml.atEnd() && !xml.hasError()) {
        xml.readNext();
        if (xml.isEndElement() && xml.name() == QLatin1String("startup_data"))
            return;
        if (xml.isStartElement() && xml.name() == QLatin1String("use_shared_task_db"))
            readFlag(xml, m_useSharedTaskDb);
    }
}

void KSettings::readThreadLimits(QXmlStreamReader &xml)
{
    const struct
    {
        const char *type;
        int KSettings::*field;
    } limits[] = {{"connection", &KSettings::m_connectionThreadLimit},
                  {"diagnostics", &KSettings::m_diagnosticsThreadLimit},
                  {"video", &KSettings::m_videoThreadLimit},
                  {"download", &KSettings::m_downloadThreadLimit},
                  {"settings", &KSettings::m_settingsThreadLimit},
                  {"alarms", &KSettings::m_alarmsThreadLimit},
                  {"archive_info", &KSettings::m_archiveInfoThreadLimit},
                  {"geotracking", &KSettings::m_geotrackingThreadLimit}};

    while (!xml.atEnd() && !xml.hasError()) {
        xml.readNext();
        if (xml.isEndElement() && xml.name() == QLatin1String("thread_limits"))
            return;
        if (!xml.isStartElement() || xml.name() != QLatin1String("limit"))
            continue;
        const QStringRef type = xml.attributes().value(QLatin1String("type"));
        for (const auto &limit : limits) {
            if (type == QLatin1String(limit.type)) {
                readNumber(xml, this->*limit.field);
                break;
            }
        }
    }
}

void KSettings::applyStyleSheet()
{
    const StyleSheetBuilder &builder = styleSheetBuilder();
    if (!builder)
        return;
    m_styleSheet = builder(m_themeColors);
    QCoreApplication *application = QCoreApplication::instance();
    // Applied by slot name: this library does not link the widgets module.
    if (application && application->inherits("QApplication"))
        QMetaObject::invokeMethod(application, "setStyleSheet", Qt::DirectConnection,
                                  Q_ARG(QString, m_styleSheet));
}

QString KSettings::themeColor(int index) const
{
    if (index < 1 || index > m_themeColors.size())
        return QString();
    return m_themeColors.at(index - 1);
}

void KSettings::store(const QString &key, const QVariant &value)
{
    QSettings userStore(QSettings::NativeFormat, QSettings::UserScope,
                        QLatin1String(organisationName), m_applicationName);
    userStore.setValue(key, value);
    userStore.sync();
}

#define VELMORA_LOCKED_GETTER(Type, name, field)                                                   \
    Type KSettings::name() const                                                                   \
    {                                                                                              \
        QMutexLocker locker(&m_mutex);                                                             \
        return field;                                                                              \
    }

VELMORA_LOCKED_GETTER(KUserData, currentUser, m_currentUser)
VELMORA_LOCKED_GETTER(QString, dbHost, m_dbHost)
VELMORA_LOCKED_GETTER(QString, localVideoPath, m_localVideoPath)
VELMORA_LOCKED_GETTER(QString, remoteVideoPath, m_remoteVideoPath)
VELMORA_LOCKED_GETTER(QString, localTaskPath, m_localTaskPath)
VELMORA_LOCKED_GETTER(QString, localSnapshotsPath, m_localSnapshotsPath)
VELMORA_LOCKED_GETTER(QString, remoteSnapshotsPath, m_remoteSnapshotsPath)
VELMORA_LOCKED_GETTER(int, downloadReliabilityMode, m_downloadReliabilityMode)
VELMORA_LOCKED_GETTER(QString, diagnosticsFileSavePath, m_diagnosticsFileSavePath)
VELMORA_LOCKED_GETTER(QString, geoTrackingFileSavePath, m_geoTrackingFileSavePath)
VELMORA_LOCKED_GETTER(QString, recorderConfigFileSavePath, m_recorderConfigFileSavePath)
VELMORA_LOCKED_GETTER(QString, pasCountFileSavePath, m_pasCountFileSavePath)
VELMORA_LOCKED_GETTER(QString, alarmFileSavePath, m_alarmFileSavePath)
VELMORA_LOCKED_GETTER(double, defaultMapCenterLongitude, m_defaultMapCenterLongitude)
VELMORA_LOCKED_GETTER(double, defaultMapCenterLatitude, m_defaultMapCenterLatitude)
VELMORA_LOCKED_GETTER(int, defaultMapZoom, m_defaultMapZoom)
VELMORA_LOCKED_GETTER(QString, eMailServerHost, m_eMailServerHost)
VELMORA_LOCKED_GETTER(int, eMailServerPort, m_eMailServerPort)
VELMORA_LOCKED_GETTER(int, eMailServerConnectionType, m_eMailServerConnectionType)
VELMORA_LOCKED_GETTER(QString, eMailServerLogin, m_eMailServerLogin)
VELMORA_LOCKED_GETTER(QString, eMailServerPassword, m_eMailServerPassword)
VELMORA_LOCKED_GETTER(QString, eMailClientLogin, m_eMailClientLogin)
VELMORA_LOCKED_GETTER(int, snapshotInterval, m_snapshotInterval)
VELMORA_LOCKED_GETTER(int, alarmsStorageInterval, m_alarmsStorageInterval)
VELMORA_LOCKED_GETTER(bool, alarmsEMailEnabled, m_alarmsEMailEnabled)
VELMORA_LOCKED_GETTER(bool, alarmsRecorderListeningEnabled, m_alarmsRecorderListeningEnabled)
VELMORA_LOCKED_GETTER(int, diagnosticsStorageInterval, m_diagnosticsStorageInterval)
VELMORA_LOCKED_GETTER(int, connectionTrackingStorageInterval, m_connectionTrackingStorageInterval)
VELMORA_LOCKED_GETTER(int, geoTrackingStorageInterval, m_geoTrackingStorageInterval)
VELMORA_LOCKED_GETTER(bool, geopositionOSDEnabled, m_geopositionOSDEnabled)
VELMORA_LOCKED_GETTER(bool, downloadWindowEnabled, m_downloadWindowEnabled)
VELMORA_LOCKED_GETTER(QTime, downloadWindowStartTime, m_downloadWindowStartTime)
VELMORA_LOCKED_GETTER(QTime, downloadWindowStopTime, m_downloadWindowStopTime)
VELMORA_LOCKED_GETTER(int, objectCycleInterval, m_objectCycleInterval)
VELMORA_LOCKED_GETTER(int, recorderType, m_recorderType)
VELMORA_LOCKED_GETTER(QString, recorderHost, m_recorderHost)
VELMORA_LOCKED_GETTER(int, recorderPort, m_recorderPort)
VELMORA_LOCKED_GETTER(QString, recorderLogin, m_recorderLogin)
VELMORA_LOCKED_GETTER(QString, recorderPassword, m_recorderPassword)
VELMORA_LOCKED_GETTER(QRect, windowRect, m_windowRect)
VELMORA_LOCKED_GETTER(bool, windowMaximized, m_windowMaximized)
VELMORA_LOCKED_GETTER(bool, autoLoad, m_autoLoad)

#undef VELMORA_LOCKED_GETTER

void KSettings::setLocalVideoPath(const QString &path)
{
    assign(m_localVideoPath, path, QStringLiteral("localVideoPath"));
}

void KSettings::setRemoteVideoPath(const QString &path)
{
    assign(m_remoteVideoPath, path, QStringLiteral("remoteVideoPath"));
}

void KSettings::setLocalSnapshotsPath(const QString &path)
{
    assign(m_localSnapshotsPath, path, QStringLiteral("localSnapshotsPath"));
}

void KSettings::setDownloadReliabilityMode(int mode)
{
    assign(m_downloadReliabilityMode, mode, QStringLiteral("downloadReliabilityMode"));
}

void KSettings::setRecorderType(int type)
{
    assign(m_recorderType, type, QStringLiteral("recorderType"));
}

void KSettings::setRecorderHost(const QString &host)
{
    assign(m_recorderHost, host, QStringLiteral("recorderHost"));
}

void KSettings::setRecorderPort(int port)
{
    assign(m_recorderPort, port, QStringLiteral("recorderPort"));
}

void KSettings::setRecorderLogin(const QString &login)
{
    assign(m_recorderLogin, login, QStringLiteral("recorderLogin"));
}

void KSettings::setRecorderPassword(const QString &encipheredPassword)
{
    assign(m_recorderPassword, encipheredPassword, QStringLiteral("recorderPassword"));
}

void KSettings::setWindowMaximized(bool maximized)
{
    assign(m_windowMaximized, maximized, QStringLiteral("windowMaximized"), maximized ? 1 : 0);
}

void KSettings::setWindowRect(const QRect &rect)
{
    {
        QMutexLocker locker(&m_mutex);
        m_windowRect = rect;
    }
    QSettings userStore(QSettings::NativeFormat, QSettings::UserScope,
                        QLatin1String(organisationName), m_applicationName);
    userStore.setValue(QStringLiteral("windowWidth"), rect.width());
    userStore.setValue(QStringLiteral("windowHeight"), rect.height());
    userStore.setValue(QStringLiteral("windowID"), rect.x());
    userStore.sync();
}

void KSettings::setCurrentUser(const KUserData &user)
{
    QMutexLocker locker(&m_mutex);
    m_currentUser = user;
}
