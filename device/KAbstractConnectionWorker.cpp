#include "KAbstractConnectionWorker.h"

#include "KAppLogHandler.h"
#include "KObjectHandler.h"
#include "KSettings.h"
#include "KStatusPort.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QTcpSocket>

KAbstractConnectionWorker::KAbstractConnectionWorker(KObjectHandler *object, QObject *parent)
    : KAbstractDeviceWorker(object, parent)
{
    setState(0);
}

KAbstractConnectionWorker::~KAbstractConnectionWorker() = default;

void KAbstractConnectionWorker::run(int options)
{
    if (state() == 1)
        return;
    setActive(true);
    emit started();
    setState(1);

    m_object->updateRecord([](KObjectData &record) { record.connection.objectID = record.id; });

    int connectionState = m_object->connectionState();
    if (!checkReachability()) {
        connectionState = 4;
    } else if (options & loginOption) {
        bool wasConnected = connectionState == 2;
        // A recorder that restarted between two runs has forgotten the login: log in again.
        if (wasConnected && !updateDeviceTime() && isLoginLost())
            wasConnected = false;
        if (!wasConnected) {
            if (login()) {
                if (m_object->isInfoObtained()) {
                    connectionState = 2;
                } else if (updateDeviceInfo() && updateChannels()) {
                    m_object->setInfoObtained(true);
                    connectionState = 2;
                } else {
                    m_object->setInfoObtained(false);
                    connectionState = 3;
                }
            } else {
                connectionState = 3;
            }
        }
        if (!wasConnected && connectionState == 2)
            updateDeviceTime();
    } else {
        connectionState = 3;
    }

    m_object->updateRecord([connectionState](KObjectData &record) {
        record.connection.state = connectionState;
        record.connection.kind = 1;
    });
    emit resultReceived(connectionState);
    setState(2);
    emit finished();
}

void KAbstractConnectionWorker::quit()
{
    cancelRunningJob();
}

bool KAbstractConnectionWorker::checkReachability()
{
    const KObjectData record = m_object->record();
    KSettings *settings = KSettings::instance();
    const QNetworkProxy proxy = KStatusPort::proxy(settings->useProxy());
    const int statusPort =
        record.modem.statusPort > 0 ? record.modem.statusPort : KStatusPort::defaultPort;

    QElapsedTimer timer;
    timer.start();
    m_object->updateRecord([](KObjectData &r) {
        r.connection.networkType = 0;
        r.connection.signalLevel = 0;
    });

    QTcpSocket statusSocket;
    statusSocket.setProxy(proxy);
    statusSocket.connectToHost(record.host, quint16(statusPort));
    if (statusSocket.waitForConnected(settings->modemConnectionTimeout())) {
        const QDateTime checkTime = QDateTime::currentDateTime();
        const int responseTime = int(timer.elapsed());
        const QByteArray answer = KStatusPort::exchange(statusSocket, KStatusPort::modemCommand,
                                                        KStatusPort::modemAnswerSize);
        int networkType = 0; // both stay 0 without a valid answer
        int signalLevel = 0;
        KStatusPort::readModemStatus(answer, &networkType, &signalLevel);
        statusSocket.close();
        m_object->updateRecord([&](KObjectData &r) {
            r.connection.checkTime = checkTime;
            r.connection.responseTime = responseTime;
            r.connection.networkType = networkType;
            r.connection.signalLevel = signalLevel;
        });
        return true;
    }

    timer.restart();
    QTcpSocket recorderSocket;
    recorderSocket.setProxy(proxy);
    recorderSocket.connectToHost(record.host, quint16(record.recorder.port));
    const bool connected = recorderSocket.waitForConnected(settings->recorderConnectionTimeout());
    const QDateTime checkTime = QDateTime::currentDateTime();
    const int responseTime = int(timer.elapsed());
    statusSocket.abort();
    recorderSocket.abort();
    m_object->updateRecord([&](KObjectData &r) {
        r.connection.checkTime = checkTime;
        r.connection.responseTime = responseTime;
    });
    return connected;
}

void KAbstractConnectionWorker::log(const QString &message, int code) const
{
    KAppLogHandler::instance()->write(m_object->record(), message, code);
}
