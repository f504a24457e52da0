#include "KObjectHandler.h"

#include "KConnectionHandler.h"
#include "KDiagnosticsHandler.h"

#include <QDateTime>
#include <QReadLocker>
#include <QWriteLocker>

KObjectHandler::KObjectHandler(const KObjectData &record, QObject *parent)
    : QObject(parent), m_record(record), m_connectionState(record.connection.state),
      m_id(record.id), m_recorderType(record.recorder.type)
{
    connect(KConnectionHandler::instance(), &KConnectionHandler::resultReceived, this,
            &KObjectHandler::handleConnectionResult);
    connect(KDiagnosticsHandler::instance(), &KDiagnosticsHandler::resultReceived, this,
            &KObjectHandler::handleDiagnosticsResult);
}

KObjectHandler::~KObjectHandler() = default;

KObjectData KObjectHandler::record() const
{
    QReadLocker locker(&m_lock);
    return m_record;
}

QString KObjectHandler::name() const
{
    QReadLocker locker(&m_lock);
    return m_record.name;
}

void KObjectHandler::rename(const QString &name, const KGroupData &group)
{
    updateRecord([&](KObjectData &record) {
        record.name = name;
        record.group = group;
    });
}

KConnectionData KObjectHandler::connection() const
{
    QReadLocker locker(&m_lock);
    return m_record.connection;
}

KRecorderData KObjectHandler::recorder() const
{
    QReadLocker locker(&m_lock);
    return m_record.recorder;
}

QMap<QString, KChannelData> KObjectHandler::channels() const
{
    QReadLocker locker(&m_lock);
    return m_record.recorder.channels;
}

KChannelData KObjectHandler::channel(const QString &channelID) const
{
    QReadLocker locker(&m_lock);
    return m_record.recorder.channels.value(channelID);
}

void KObjectHandler::updateRecord(const std::function<void(KObjectData &)> &change)
{
    QWriteLocker locker(&m_lock);
    change(m_record);
    m_connectionState.store(m_record.connection.state);
}

QString KObjectHandler::connectionProblem() const
{
    if (isAuthFailed())
        return QStringLiteral("ошибка авторизации: проверьте логин и пароль");
    if (connectionState() == 4)
        return QStringLiteral("ВР недоступен, ожидание связи");
    return QString();
}

void KObjectHandler::setConnectionState(int state)
{
    updateRecord([state](KObjectData &record) { record.connection.state = state; });
}

void KObjectHandler::requireConnection(bool required)
{
    if (required) {
        ++m_demand;
        if (m_demand == 1)
            establishConnection();
    } else if (m_demand > 0) {
        // An unpaired release must not leave the object with negative demand: it would need
        // two requests before the next login.
        --m_demand;
    }
}

void KObjectHandler::establishConnection()
{
    if (m_connectionJobID >= 1)
        return;
    const int options =
        (m_demand > 0 && !isAuthFailed()) ? KAbstractConnectionWorker::loginOption : 0;
    m_connectionJobID = KConnectionHandler::instance()->addJob(KDeviceJob{this, options});
    if (m_connectionJobID < 1) {
        updateRecord([](KObjectData &record) {
            record.connection.state = 1;
            record.connection.checkTime = QDateTime::currentDateTime();
        });
        if (m_diagnosticsEnabled)
            collectDiagnostics();
        emit connectionStateChanged();
    }
}

void KObjectHandler::handleConnectionResult(int jobID, int)
{
    if (jobID != m_connectionJobID)
        return;
    m_connectionJobID = -1;
    if (m_diagnosticsEnabled && m_diagnosticsJobID < 1)
        m_diagnosticsJobID = KDiagnosticsHandler::instance()->addJob(KDeviceJob{this, 0});
    emit connectionStateChanged();
}

void KObjectHandler::collectDiagnostics()
{
    if (m_diagnosticsJobID < 1)
        m_diagnosticsJobID = KDiagnosticsHandler::instance()->addJob(KDeviceJob{this, 0});
}

void KObjectHandler::handleDiagnosticsResult(int jobID)
{
    if (jobID == m_diagnosticsJobID)
        m_diagnosticsJobID = -1;
}
