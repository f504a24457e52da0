#pragma once

#include "KUserData.h"

#include <QMutex>
#include <QObject>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QVariant>
#include <QVector>

#include <functional>

class QSettings;
class QXmlStreamReader;

// The process-wide settings: identity, installation-wide options from "settings.xml" beside
// the program, per-user options from the per-user store, window sizes and the colour theme.
// Create it only after the application object exists (it uses the application's directory).
class KSettings : public QObject
{
    Q_OBJECT

public:
    using StyleSheetBuilder = std::function<QString(const QStringList &colours)>;

    static KSettings *instance();
    ~KSettings() override;

    // Registered by the widgets layer before the first instance(); the constructor builds the
    // application style sheet with it and applies it when the application has widgets.
    static void setStyleSheetBuilder(StyleSheetBuilder builder);

    // "MTR-HD" for type 1, "Неизвестный тип" otherwise.
    static QString recorderTypeName(int type);

    // Identity.
    QString brandTitle() const { return m_brandTitle; }
    QString applicationName() const { return m_applicationName; }
    QString applicationVersion() const { return m_applicationVersion; }
    QString iconPath() const { return m_iconPath; }
    int objectLimit() const { return m_objectLimit; }
    QString applicationDir() const { return m_applicationDir; }

    // Installation-wide ("settings.xml"), fixed after start.
    int connectionThreadLimit() const { return m_connectionThreadLimit; }
    int diagnosticsThreadLimit() const { return m_diagnosticsThreadLimit; }
    int videoThreadLimit() const { return m_videoThreadLimit; }
    int downloadThreadLimit() const { return m_downloadThreadLimit; }
    int settingsThreadLimit() const { return m_settingsThreadLimit; }
    int alarmsThreadLimit() const { return m_alarmsThreadLimit; }
    int archiveInfoThreadLimit() const { return m_archiveInfoThreadLimit; }
    int geotrackingThreadLimit() const { return m_geotrackingThreadLimit; }
    int modemConnectionTimeout() const { return m_modemConnectionTimeout; }
    int recorderConnectionTimeout() const { return m_recorderConnectionTimeout; }
    int connectionInterval() const { return m_connectionInterval; }
    bool useProxy() const { return m_useProxy; }
    bool useSharedTaskDb() const { return m_useSharedTaskDb; }
    // The object database: "sqlite" (the file beside the program) or "postgresql" (a server
    // at dbHost(), this port and database name; user and password of currentUser(), or the
    // libpq password file when one is named).
    QString databaseType() const { return m_databaseType; }
    int databasePort() const { return m_databasePort; }
    QString databaseName() const { return m_databaseName; }
    QString databasePasswordFile() const { return m_databasePasswordFile; }

    // Per-user.
    KUserData currentUser() const;
    QString dbHost() const;
    QString localVideoPath() const;
    QString remoteVideoPath() const;
    QString localTaskPath() const;
    QString localSnapshotsPath() const;
    QString remoteSnapshotsPath() const;
    int downloadReliabilityMode() const;
    QString diagnosticsFileSavePath() const;
    QString geoTrackingFileSavePath() const;
    QString recorderConfigFileSavePath() const;
    QString pasCountFileSavePath() const;
    QString alarmFileSavePath() const;
    double defaultMapCenterLongitude() const;
    double defaultMapCenterLatitude() const;
    int defaultMapZoom() const;
    QString eMailServerHost() const;
    int eMailServerPort() const;
    int eMailServerConnectionType() const;
    QString eMailServerLogin() const;
    QString eMailServerPassword() const;
    QString eMailClientLogin() const;
    int snapshotInterval() const;
    int alarmsStorageInterval() const;
    bool alarmsEMailEnabled() const;
    bool alarmsRecorderListeningEnabled() const;
    int diagnosticsStorageInterval() const;
    int connectionTrackingStorageInterval() const;
    int geoTrackingStorageInterval() const;
    bool geopositionOSDEnabled() const;
    bool downloadWindowEnabled() const;
    QTime downloadWindowStartTime() const;
    QTime downloadWindowStopTime() const;
    int objectCycleInterval() const;
    int recorderType() const;
    QString recorderHost() const;
    int recorderPort() const;
    QString recorderLogin() const;
    QString recorderPassword() const;
    QRect windowRect() const;
    QVector<QRect> windowSizes() const { return m_windowSizes; }
    bool windowMaximized() const;
    bool autoLoad() const;

    // Theme: 20 colours; themeColor() counts from 1 and gives an empty text out of range.
    QStringList themeColors() const { return m_themeColors; }
    QString themeColor(int index) const;
    // The application style sheet built at construction (empty without a builder).
    QString styleSheet() const { return m_styleSheet; }

    // Each setter stores the value and writes it to the per-user store at once.
    void setLocalVideoPath(const QString &path);
    void setRemoteVideoPath(const QString &path);
    void setLocalSnapshotsPath(const QString &path);
    void setDownloadReliabilityMode(int mode);
    void setRecorderType(int type);
    void setRecorderHost(const QString &host);
    void setRecorderPort(int port);
    void setRecorderLogin(const QString &login);
    void setRecorderPassword(const QString &encipheredPassword);
    void setWindowMaximized(bool maximized);
    void setWindowRect(const QRect &rect);

    // Memory only; nothing is written.
    void setCurrentUser(const KUserData &user);

protected:
    // The program uses instance(); tests build fresh objects on a directory of their own.
    explicit KSettings(const QString &applicationDir, QObject *parent = nullptr);

private:
    void readUserStore();
    void readSettingsFile(const QString &filePath);
    void readConnectionData(QXmlStreamReader &xml);
    void readStartupData(QXmlStreamReader &xml);
    void readThreadLimits(QXmlStreamReader &xml);
    void readDatabase(QXmlStreamReader &xml);
    void applyStyleSheet();
    void store(const QString &key, const QVariant &value);
    // Sets a per-user field under the lock, then writes it to the store at once.
    template<typename T>
    void assign(T &field, const T &value, const QString &key, const QVariant &stored)
    {
        {
            QMutexLocker locker(&m_mutex);
            field = value;
        }
        store(key, stored);
    }
    template<typename T> void assign(T &field, const T &value, const QString &key)
    {
        assign(field, value, key, QVariant::fromValue(value));
    }

    QString m_applicationDir;

    QString m_brandTitle = QStringLiteral("Tarnwick VMS");
    QString m_applicationName = QStringLiteral("Velmora Viewer");
    QString m_applicationVersion;
    QString m_iconPath = QStringLiteral(":/vms_client.ico");
    int m_objectLimit = 2048;

    int m_connectionThreadLimit = 100;
    int m_diagnosticsThreadLimit = 10;
    int m_videoThreadLimit = 64;
    int m_downloadThreadLimit = 10;
    int m_settingsThreadLimit = 1;
    int m_alarmsThreadLimit = 1;
    int m_archiveInfoThreadLimit = 1;
    int m_geotrackingThreadLimit = 10;
    int m_modemConnectionTimeout = 2000;
    int m_recorderConnectionTimeout = 2000;
    int m_connectionInterval = 15000;
    bool m_useProxy = true;
    bool m_useSharedTaskDb = false;
    QString m_databaseType = QStringLiteral("sqlite");
    int m_databasePort = 5432;
    QString m_databaseName = QStringLiteral("velmora");
    QString m_databasePasswordFile;

    // Guards the per-user fields below: the UI thread sets them while workers read them.
    mutable QMutex m_mutex;
    KUserData m_currentUser;
    QString m_dbHost = QStringLiteral("localhost");
    QString m_localVideoPath;
    QString m_remoteVideoPath;
    QString m_localTaskPath;
    QString m_localSnapshotsPath;
    QString m_remoteSnapshotsPath;
    int m_downloadReliabilityMode = 1;
    QString m_diagnosticsFileSavePath = QStringLiteral("C://");
    QString m_geoTrackingFileSavePath = QStringLiteral("C://");
    QString m_recorderConfigFileSavePath = QStringLiteral("C://");
    QString m_pasCountFileSavePath = QStringLiteral("C://");
    QString m_alarmFileSavePath = QStringLiteral("C://");
    double m_defaultMapCenterLongitude = 30.1;
    double m_defaultMapCenterLatitude = 59.95;
    int m_defaultMapZoom = 2400;
    QString m_eMailServerHost;
    int m_eMailServerPort = 0;
    int m_eMailServerConnectionType = 0;
    QString m_eMailServerLogin;
    QString m_eMailServerPassword;
    QString m_eMailClientLogin;
    int m_snapshotInterval = 900000;
    int m_alarmsStorageInterval = 730;
    bool m_alarmsEMailEnabled = false;
    bool m_alarmsRecorderListeningEnabled = false;
    int m_diagnosticsStorageInterval = 730;
    int m_connectionTrackingStorageInterval = 14;
    int m_geoTrackingStorageInterval = 14;
    bool m_geopositionOSDEnabled = false;
    bool m_downloadWindowEnabled = false;
    QTime m_downloadWindowStartTime = QTime(8, 0, 0);
    QTime m_downloadWindowStopTime = QTime(17, 0, 0);
    int m_objectCycleInterval = 30000;
    int m_recorderType = 1;
    QString m_recorderHost;
    int m_recorderPort = 0;
    QString m_recorderLogin;
    QString m_recorderPassword;
    QVector<QRect> m_windowSizes = {QRect(0, 0, 1680, 900), QRect(1, 0, 1440, 800),
                                    QRect(2, 0, 1280, 720)};
    QRect m_windowRect = m_windowSizes.last();
    bool m_windowMaximized = false;
    bool m_autoLoad = false;

    QStringList m_themeColors;
    QString m_styleSheet;
};
