#include "KDownloadWorker_HIKVISION.h"

#include "HCNetSDK.h"
#include "KObjectHandler_HIKVISION.h"
#include "KPollPacer.h"
#include "KSdkTime.h"

#include <QFile>

#include <cstring>

namespace {

const QString kNoConnection = QStringLiteral("Загрузка видеоархива - нет соединения с ВР!");
const QString kNoFile = QStringLiteral("Загрузка видеоархива - нет файла!");

// The SDK's connect, send, receive and receive time-out errors.
bool isNetworkError(uint32_t error)
{
    return error >= VSDK_ERR_CONNECT && error <= VSDK_ERR_RECEIVE_TIMEOUT;
}

} // namespace

KDownloadWorker_HIKVISION::KDownloadWorker_HIKVISION(KObjectHandler_HIKVISION *object,
                                                     QObject *parent)
    : KAbstractDownloadWorker(object, parent)
{}

KDownloadWorker_HIKVISION::~KDownloadWorker_HIKVISION() = default;

int KDownloadWorker_HIKVISION::loginID() const
{
    return static_cast<KObjectHandler_HIKVISION *>(m_object)->loginID();
}

int KDownloadWorker_HIKVISION::searchIntervals(QString channelID, QDateTime beginDateTime,
                                               QDateTime endDateTime,
                                               QList<KArchiveFileInterval> &files)
{
    VSDK_FIND_CONDITION condition;
    std::memset(&condition, 0, sizeof condition);
    condition.channel = m_object->channel(channelID).channelNumber;
    condition.fileType = 0xFF;
    condition.lockState = 0xFF;
    condition.startTime = KSdkTime::toSdk(beginDateTime);
    condition.stopTime = KSdkTime::toSdk(endDateTime);
    const int32_t search = NET_DVR_FindFile_V30(loginID(), &condition);
    if (search < 0) {
        const uint32_t error = NET_DVR_GetLastError();
        if (isNetworkError(error)) {
            log(kNoConnection, channelID, int(error));
            return NoConnection;
        }
        log(QStringLiteral("Загрузка видеоархива - ошибка поиска интервалов!"), channelID,
            int(error));
        return DeviceError;
    }
    VSDK_FIND_DATA found;
    KPollPacer pacer;
    int result = Done;
    while (true) {
        std::memset(&found, 0, sizeof found);
        const int32_t answer = NET_DVR_FindNextFile_V30(search, &found);
        if (answer == VSDK_FIND_BUSY) {
            pacer.wait();
            continue;
        }
        pacer.reset();
        if (answer == VSDK_FIND_EXCEPTION) {
            // A search that broke off knows nothing of the rest of the interval; taking what
            // came so far would skip the rest and still report success.
            const uint32_t error = NET_DVR_GetLastError();
            result = isNetworkError(error) ? NoConnection : DeviceError;
            log(result == NoConnection
                    ? kNoConnection
                    : QStringLiteral("Загрузка видеоархива - ошибка поиска интервалов!"),
                channelID, int(error));
            break;
        }
        if (answer != VSDK_FIND_FILE)
            break;
        KArchiveFileInterval file;
        file.fileName = QString::fromLocal8Bit(
            found.fileName, int(qstrnlen(found.fileName, sizeof found.fileName)));
        file.beginDateTime = KSdkTime::fromSdk(found.startTime);
        file.endDateTime = KSdkTime::fromSdk(found.stopTime);
        file.locked = found.locked == 1;
        file.size = qint64(found.fileSize);
        if (file.beginDateTime.isValid() && file.endDateTime.isValid())
            files.append(file);
    }
    NET_DVR_FindClose_V30(search);
    return result;
}

void KDownloadWorker_HIKVISION::dropTransfer(int handle, const QString &temporaryPath)
{
    NET_DVR_StopGetFile(handle);
    m_handle.store(-1);
    QFile::remove(temporaryPath);
}

int KDownloadWorker_HIKVISION::downloadFragment(QString channelID, KDownloadFragment fragment)
{
    const int channel = m_object->channel(channelID).channelNumber;
    const QString temporaryPath = fragment.file.absolutePath() + QLatin1Char('/') +
                                  fragment.file.completeBaseName() + QStringLiteral("_TEMP.mp4");
    const VSDK_TIME start = KSdkTime::toSdk(fragment.beginDateTime);
    const VSDK_TIME stop = KSdkTime::toSdk(fragment.endDateTime);
    const int32_t handle = NET_DVR_GetFileByTime(loginID(), channel, &start, &stop,
                                                 QFile::encodeName(temporaryPath).constData());
    m_handle.store(handle);
    if (handle < 0) {
        const uint32_t error = NET_DVR_GetLastError();
        if (error == VSDK_ERR_FILE)
            return diskWriteFailed(channelID, temporaryPath, int(error));
        if (error != 0) {
            log(QStringLiteral("Загрузка видеоархива - ошибка поиска файла!"), channelID,
                int(error));
            return NoConnection;
        }
        log(kNoFile, channelID);
        return NothingFound;
    }
    if (!NET_DVR_PlayBackControl(handle, VSDK_PLAY_START, 0, nullptr)) {
        const uint32_t error = NET_DVR_GetLastError();
        // The handle would otherwise stay open on both sides.
        dropTransfer(handle, temporaryPath);
        if (isNetworkError(error)) {
            log(kNoConnection, channelID, int(error));
            return NoConnection;
        }
        log(QStringLiteral("Загрузка видеоархива - ошибка запуска загрузки!"), channelID,
            int(error));
        return NothingFound;
    }

    emit fileChanged(channelID, QFileInfo(temporaryPath));
    int32_t progress = 0;
    int32_t shown = 0;
    uint32_t transferError = 0;
    while (isActive() && progress <= 99) {
        if (!m_object->isConnected()) {
            log(kNoConnection, channelID);
            dropTransfer(handle, temporaryPath);
            return NoConnection;
        }
        pause(progressPollInterval);
        progress = NET_DVR_GetDownloadPos(handle);
        if (progress > 100 || progress < 0)
            transferError = NET_DVR_GetLastError();
        else if (progress > shown && progress < 100)
            emit fragmentProgressChanged(channelID, shown = progress);
    }
    if (!NET_DVR_StopGetFile(handle)) {
        log(QStringLiteral("Загрузка видеоархива - ошибка останова!"), channelID,
            int(NET_DVR_GetLastError()));
        QFile::remove(temporaryPath);
        return DeviceError;
    }
    m_handle.store(-1);
    if (uint32_t(progress) > 100) {
        QFile::remove(temporaryPath);
        // The file could not be written: fetching it again would fail the same way.
        if (transferError == VSDK_ERR_FILE)
            return diskWriteFailed(channelID, temporaryPath, int(transferError));
        log(kNoConnection, channelID, int(transferError));
        return NoConnection;
    }
    if (!isActive()) {
        QFile::remove(temporaryPath);
        return Cancelled;
    }
    const qint64 size = QFileInfo(temporaryPath).size();
    if (size <= 0) {
        QFile::remove(temporaryPath);
        log(kNoFile, channelID);
        return NothingFound;
    }
    emit fileCompleted(channelID, temporaryPath, size);
    return convertFragment(channelID, fragment, temporaryPath);
}
