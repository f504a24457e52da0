#include "KOnlineViewWorker_HIKVISION.h"

#include "HCNetSDK.h"
#include "KObjectHandler_HIKVISION.h"
#include "KSdkTime.h"

#include <QThread>

#include <cstring>

KOnlineViewWorker_HIKVISION::KOnlineViewWorker_HIKVISION(KObjectHandler_HIKVISION *object,
                                                         int windowHandle, QObject *parent)
    : KAbstractOnlineViewWorker(object, windowHandle, parent), m_recorder(object)
{}

bool KOnlineViewWorker_HIKVISION::startView()
{
    sleepChannelDelay();
    VSDK_PREVIEW_INFO preview;
    std::memset(&preview, 0, sizeof preview);
    preview.channel = m_channel.channelNumber;
    preview.streamType = uint32_t(m_streamType);
    preview.linkMode = 0;
    preview.playWindow = VSDK_WINDOW(qint32(m_windowHandle));
    const int handle = NET_DVR_RealPlay_V40(m_recorder->loginID(), &preview, nullptr, nullptr);
    m_handle.store(handle);
    if (handle < 0) {
        log(QStringLiteral("Онлайн-трансляция - ошибка запуска!"), int(NET_DVR_GetLastError()));
        return false;
    }
    QThread::msleep(100);
    if (NET_DVR_OpenSoundShare(handle)) {
        m_soundOpened = true;
        NET_DVR_Volume(handle, uint16_t(m_volume * 65535 / 100));
    } else {
        m_soundOpened = false;
        log(QStringLiteral("Онлайн-трансляция - ошибка аудио!"), int(NET_DVR_GetLastError()));
    }
    return true;
}

bool KOnlineViewWorker_HIKVISION::stopView()
{
    const int handle = m_handle.load();
    if (m_soundOpened)
        NET_DVR_CloseSoundShare(handle);
    if (!NET_DVR_StopRealPlay(handle)) {
        log(QStringLiteral("Онлайн-трансляция - ошибка останова!"), int(NET_DVR_GetLastError()));
        return false;
    }
    return true;
}

bool KOnlineViewWorker_HIKVISION::applyVolume()
{
    if (!m_soundOpened)
        return false;
    if (!NET_DVR_Volume(m_handle.load(), uint16_t(m_volume * 65535 / 100))) {
        log(QStringLiteral("Онлайн-трансляция - ошибка настройки громкости!"),
            int(NET_DVR_GetLastError()));
        return false;
    }
    return true;
}

bool KOnlineViewWorker_HIKVISION::saveSnapshot()
{
    const QString errorText = QStringLiteral("Онлайн-трансляция - ошибка снимка экрана!");
    // The file is named after the recorder's time; without it every snapshot would get the
    // same name and replace the last.
    if (!currentDateTime().isValid())
        readCurrentDateTime();
    if (!currentDateTime().isValid()) {
        log(errorText);
        return false;
    }
    const QString path = snapshotPath(currentDateTime());
    NET_DVR_SetCapturePictureMode(VSDK_CAPTURE_JPEG);
    if (!NET_DVR_CapturePicture(m_handle.load(), path.toLocal8Bit().constData())) {
        log(errorText, int(NET_DVR_GetLastError()));
        return false;
    }
    return checkSnapshot(path, QStringLiteral("Онлайн-трансляция - снимок экрана сохранен: "),
                         errorText);
}

void KOnlineViewWorker_HIKVISION::readCurrentDateTime()
{
    VSDK_TIME time;
    std::memset(&time, 0, sizeof time);
    uint32_t returned = 0;
    if (NET_DVR_GetDVRConfig(m_recorder->loginID(), VSDK_GET_TIME, -1, &time, sizeof time,
                             &returned)) {
        setCurrentDateTime(KSdkTime::fromSdk(time));
    } else {
        setCurrentDateTime(QDateTime());
    }
}
