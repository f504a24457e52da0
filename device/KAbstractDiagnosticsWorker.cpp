#include "KAbstractDiagnosticsWorker.h"

#include "KObjectHandler.h"
#include "KSettings.h"
#include "KStatusPort.h"

#include <QTcpSocket>

KAbstractDiagnosticsWorker::KAbstractDiagnosticsWorker(KObjectHandler *object, QObject *parent)
    : KAbstractDeviceWorker(object, parent)
{
    setState(0);
}

KAbstractDiagnosticsWorker::~KAbstractDiagnosticsWorker() = default;

QString KAbstractDiagnosticsWorker::channelCodeID(const QString &channelID)
{
    QString id = channelID;
    return id.remove(QStringLiteral("CAM"));
}

void KAbstractDiagnosticsWorker::run()
{
    if (state() == 1)
        return;
    setActive(true);
    emit started();
    setState(1);
    collect();
    emit resultReceived();
    setState(2);
    emit finished();
}

void KAbstractDiagnosticsWorker::quit()
{
    cancelRunningJob();
}

void KAbstractDiagnosticsWorker::collect()
{
    m_object->updateRecord([](KObjectData &record) {
        for (KComponentDiagnosticsData *d :
             {&record.modem.diagnostics, &record.geoTracker.diagnostics,
              &record.recorder.generalDiagnostics, &record.recorder.storageDiagnostics,
              &record.recorder.camerasDiagnostics}) {
            d->state = 0;
            d->text = QStringLiteral("NAN");
        }
    });
    m_connectionState = m_object->connectionState();

    checkModem();
    if (!isActive())
        return;
    if (m_connectionState == 2 || m_connectionState == 3) {
        checkTracker();
        if (!isActive())
            return;
    }
    checkRecorder();
    if (!isActive() || m_connectionState != 2)
        return;
    checkStorage();
    if (!isActive())
        return;
    checkCameras();
}

void KAbstractDiagnosticsWorker::checkModem()
{
    const KConnectionData connection = m_object->connection();
    QString code;
    switch (m_connectionState) {
    case 2:
    case 3:
        code = QStringLiteral("CNS_") + QString::number(connection.responseTime);
        if (connection.networkType != 0) {
            QString network = QStringLiteral("NAN");
            if (connection.networkType == 2)
                network = QStringLiteral("2G");
            else if (connection.networkType == 3)
                network = QStringLiteral("3G");
            else if (connection.networkType == 4)
                network = QStringLiteral("4G");
            code += QLatin1Char('_') + QString::number(connection.signalLevel) + QLatin1Char('_') +
                    network;
        }
        break;
    case 4:
        code = QStringLiteral("CNE");
        break;
    case 0:
    case 1:
        code = QStringLiteral("CNP");
        break;
    default:
        return;
    }
    m_object->updateRecord([&code](KObjectData &record) { record.modem.diagnostics.text = code; });
}

void KAbstractDiagnosticsWorker::checkRecorder() {}

void KAbstractDiagnosticsWorker::checkTracker()
{
    const KObjectData record = m_object->record();
    const int statusPort =
        record.modem.statusPort > 0 ? record.modem.statusPort : KStatusPort::defaultPort;
    QString code = QStringLiteral("NAN");
    QTcpSocket socket;
    socket.setProxy(KStatusPort::proxy(KSettings::instance()->useProxy()));
    socket.connectToHost(record.host, quint16(statusPort));
    if (socket.waitForConnected(KSettings::instance()->modemConnectionTimeout())) {
        const QByteArray answer = KStatusPort::exchange(socket, KStatusPort::trackerCommand,
                                                        KStatusPort::trackerAnswerSize);
        socket.close();
        if (KStatusPort::isValidAnswer(answer, KStatusPort::trackerCommand,
                                       KStatusPort::trackerAnswerSize)) {
            const qint8 error = qint8(answer.at(2));
            code = error == 0 ? QStringLiteral("CNS")
                              : QStringLiteral("ERR_TRNGEO_") + QString::number(error);
        }
    }
    m_object->updateRecord(
        [&code](KObjectData &record) { record.geoTracker.diagnostics.text = code; });
}
