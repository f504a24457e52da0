#include "KArchiveViewWorker_HIKVISION.h"

#include "HCNetSDK.h"
#include "KObjectHandler_HIKVISION.h"
#include "KSdkTime.h"

#include <cstring>

KArchiveViewWorker_HIKVISION::KArchiveViewWorker_HIKVISION(KObjectHandler_HIKVISION *object,
                                                           int windowHandle, QObject *parent)
    : KAbstractArchiveViewWorker(object, windowHandle, parent), m_recorder(object)
{}

bool KArchiveViewWorker_HIKVISION::control(uint32_t code, uint32_t value, const QString &errorText)
{
    if (NET_DVR_PlayBackControl(m_handle.load(), code, value, nullptr))
        return true;
    if (!errorText.isEmpty())
        log(errorText, int(NET_DVR_GetLastError()));
    return false;
}

bool KArchiveViewWorker_HIKVISION::startView()
{
    const int delay = sleepChannelDelay();
    const QDate date = m_startDateTime.date();
    const QTime time = m_startDateTime.time();
    // The stagger is added to the seconds only, as the recorder expects no carry.
    const VSDK_TIME start =
        KSdkTime::toSdk(date, time.hour(), time.minute(), time.second() + delay / 1000);
    const VSDK_TIME stop = KSdkTime::toSdk(date, 23, 59, 59);
    const int handle = NET_DVR_PlayBackByTime(m_recorder->loginID(), m_channel.channelNumber,
                                              &start, &stop, VSDK_WINDOW(qint32(m_windowHandle)));
    m_handle.store(handle);
    if (handle < 0) {
        log(QStringLiteral("Просмотр видеоархива - ошибка запуска"), int(NET_DVR_GetLastError()));
        return false;
    }
    if (!control(VSDK_PLAY_START, 0, QStringLiteral("Просмотр видеоархива - ошибка запуска!")))
        return false;
    m_soundOpened =
        control(VSDK_PLAY_SOUND_ON, 0, QStringLiteral("Просмотр видеоархива - ошибка аудио!"));
    if (m_soundOpened)
        control(VSDK_PLAY_VOLUME, uint32_t(m_volume * 65535 / 100));
    return true;
}

bool KArchiveViewWorker_HIKVISION::pauseView()
{
    return control(VSDK_PLAY_PAUSE, 0, QStringLiteral("Просмотр видеоархива - ошибка паузы!"));
}

bool KArchiveViewWorker_HIKVISION::resumeView()
{
    return control(VSDK_PLAY_RESUME, 0,
                   QStringLiteral("Просмотр видеоархива - ошибка возобновления!"));
}

bool KArchiveViewWorker_HIKVISION::stopView()
{
    if (m_soundOpened)
        control(VSDK_PLAY_SOUND_OFF);
    control(VSDK_PLAY_STOP);
    if (!NET_DVR_StopPlayBack(m_handle.load())) {
        log(QStringLiteral("Просмотр видеоархива - ошибка останова"), int(NET_DVR_GetLastError()));
        return false;
    }
    return true;
}

bool KArchiveViewWorker_HIKVISION::applyPlaybackSpeed()
{
    control(VSDK_PLAY_NORMAL);
    if (m_playbackSpeed < 0 || m_playbackSpeed > 6)
        return true;
    const int steps = m_playbackSpeed - 3;
    for (int i = 0; i < qAbs(steps); ++i)
        control(steps > 0 ? VSDK_PLAY_FAST : VSDK_PLAY_SLOW);
    log(QStringLiteral("Просмотр видеоархива - установлена скорость воспроизведения ") +
        speedText(m_playbackSpeed));
    return true;
}

bool KArchiveViewWorker_HIKVISION::applyVolume()
{
    if (!m_soundOpened)
        return false;
    return control(VSDK_PLAY_VOLUME, uint32_t(m_volume * 65535 / 100));
}

QDateTime KArchiveViewWorker_HIKVISION::osdTime() const
{
    VSDK_TIME time;
    std::memset(&time, 0, sizeof time);
    NET_DVR_GetPlayBackOsdTime(m_handle.load(), &time);
    return KSdkTime::fromSdk(time);
}

bool KArchiveViewWorker_HIKVISION::saveSnapshot()
{
    const QString errorText = QStringLiteral("Просмотр видеоархива - ошибка снимка экрана!");
    // Named after the picture's time: before the first picture there is no name to give.
    const QDateTime shown = osdTime();
    if (!shown.isValid()) {
        log(errorText);
        return false;
    }
    const QString path = snapshotPath(shown);
    NET_DVR_SetCapturePictureMode(VSDK_CAPTURE_JPEG);
    if (!NET_DVR_PlayBackCaptureFile(m_handle.load(), path.toLocal8Bit().constData())) {
        log(errorText, int(NET_DVR_GetLastError()));
        return false;
    }
    return checkSnapshot(path, QStringLiteral("Просмотр видеоархива - снимок экрана сохранен: "),
                         errorText);
}

void KArchiveViewWorker_HIKVISION::readCurrentDateTime()
{
    setCurrentDateTime(osdTime());
}
