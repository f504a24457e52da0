#include "KDiagnosticsWorker_HIKVISION.h"

#include "HCNetSDK.h"
#include "KObjectHandler_HIKVISION.h"

#include <QStringList>

#include <cstring>
#include <memory>

KDiagnosticsWorker_HIKVISION::KDiagnosticsWorker_HIKVISION(KObjectHandler_HIKVISION *object,
                                                           QObject *parent)
    : KAbstractDiagnosticsWorker(object, parent)
{}

KDiagnosticsWorker_HIKVISION::~KDiagnosticsWorker_HIKVISION() = default;

QString KDiagnosticsWorker_HIKVISION::generalErrorCode() const
{
    const int lastError = m_object->recorder().lastError;
    if (lastError != 0)
        return QStringLiteral("ERR_HIKGEN_") + QString::number(lastError);
    return QStringLiteral("NAN");
}

void KDiagnosticsWorker_HIKVISION::checkRecorder()
{
    const int lastError = m_object->recorder().lastError;
    QString code = QStringLiteral("NAN");
    if (m_connectionState == 2)
        code = QStringLiteral("CNS");
    else if (m_connectionState == 3)
        code = lastError > 0 ? QStringLiteral("ERR_HIKGEN_") + QString::number(lastError)
                             : QStringLiteral("CNP");
    m_object->updateRecord(
        [&code](KObjectData &record) { record.recorder.generalDiagnostics.text = code; });
}

void KDiagnosticsWorker_HIKVISION::checkStorage()
{
    auto disks = std::make_unique<VSDK_DISKS>();
    std::memset(disks.get(), 0, sizeof(VSDK_DISKS));
    uint32_t returned = 0;
    QString code;
    if (NET_DVR_GetDVRConfig(static_cast<KObjectHandler_HIKVISION *>(m_object)->loginID(),
                             VSDK_GET_DISKS, -1, disks.get(), sizeof(VSDK_DISKS), &returned)) {
        QStringList problems;
        for (int i = 0; i < VSDK_MAX_DISKS; ++i) {
            if (disks->disks[i].status > 0) {
                problems << QStringLiteral("ERR_HIKSTR_") +
                                QString::number(disks->disks[i].status) + QLatin1Char('_') +
                                QString::number(i + 1);
            }
        }
        code = problems.isEmpty() ? QStringLiteral("CNS") : problems.join(QLatin1Char(','));
    } else {
        code = generalErrorCode();
    }
    m_object->updateRecord(
        [&code](KObjectData &record) { record.recorder.storageDiagnostics.text = code; });
}

void KDiagnosticsWorker_HIKVISION::checkCameras()
{
    auto workState = std::make_unique<VSDK_WORK_STATE>();
    std::memset(workState.get(), 0, sizeof(VSDK_WORK_STATE));
    QString code;
    if (NET_DVR_GetDVRWorkState_V30(static_cast<KObjectHandler_HIKVISION *>(m_object)->loginID(),
                                    workState.get())) {
        QStringList problems;
        const QMap<QString, KChannelData> channels = m_object->channels();
        for (auto it = channels.cbegin(); it != channels.cend(); ++it) {
            const KChannelData &channel = it.value();
            // Channel numbers outside the work-state table cannot be judged.
            if (!channel.available || channel.channelNumber < 1 ||
                channel.channelNumber > VSDK_MAX_CHANNELS)
                continue;
            const VSDK_CHANNEL_STATE &state = workState->channels[channel.channelNumber - 1];
            const QString id = channelCodeID(it.key());
            if (state.hardwareState == 1)
                problems << QStringLiteral("ERR_HIKCAM_1_") + id;
            else if (state.signalState == 1)
                problems << QStringLiteral("ERR_HIKCAM_2_") + id;
            else if (state.recordState == 0)
                problems << QStringLiteral("ERR_HIKCAM_3_") + id;
        }
        code = problems.isEmpty() ? QStringLiteral("CNS") : problems.join(QLatin1Char(','));
    } else {
        code = generalErrorCode();
    }
    m_object->updateRecord(
        [&code](KObjectData &record) { record.recorder.camerasDiagnostics.text = code; });
}
