#include "KAbstractViewWorker.h"

#include "KAppLogHandler.h"
#include "KObjectHandler.h"

#include <QFileInfo>
#include <QThread>
#include <QTimer>

KAbstractViewWorker::KAbstractViewWorker(KObjectHandler *object, int windowHandle, QObject *parent)
    : KAbstractDeviceWorker(object, parent), m_windowHandle(windowHandle)
{
    setState(2);
    if (m_object)
        connect(m_object, &KObjectHandler::connectionStateChanged, this,
                &KAbstractViewWorker::updateConnection);
}

KAbstractViewWorker::~KAbstractViewWorker()
{
    deleteTimer();
}

QDateTime KAbstractViewWorker::currentDateTime() const
{
    QMutexLocker locker(&m_dateTimeLock);
    return m_currentDateTime;
}

void KAbstractViewWorker::setCurrentDateTime(const QDateTime &dateTime)
{
    QMutexLocker locker(&m_dateTimeLock);
    m_currentDateTime = dateTime;
}

bool KAbstractViewWorker::isConnected() const
{
    return m_object && m_object->isConnected();
}

void KAbstractViewWorker::log(const QString &message, int code) const
{
    KAppLogHandler::instance()->write(m_object ? m_object->record() : KObjectData(), m_channel.name,
                                      message, code);
}

int KAbstractViewWorker::sleepChannelDelay() const
{
    const int delay =
        qMax(0, m_channel.channelNumber) * (m_object ? m_object->recorder().channelStartDelay : 0);
    if (delay > 0)
        QThread::msleep(delay);
    return delay;
}

QString KAbstractViewWorker::snapshotPath(const QDateTime &pictureTime) const
{
    return m_snapshotSavePath + QLatin1Char('/') +
           pictureTime.toString(QStringLiteral("yyyy.MM.dd_hh.mm.ss")) + QLatin1Char('_') +
           m_channel.name + QStringLiteral(".jpg");
}

bool KAbstractViewWorker::checkSnapshot(const QString &path, const QString &savedText,
                                        const QString &errorText)
{
    QThread::msleep(500);
    if (QFileInfo::exists(path)) {
        log(savedText + path);
        return true;
    }
    log(errorText, 0);
    return false;
}

void KAbstractViewWorker::run(const QString &channelID, int streamType, const QDateTime &dateTime)
{
    if (isActive())
        return;
    m_channel = m_object ? m_object->channel(channelID) : KChannelData();
    if (!m_channel.available)
        return;
    setActive(true);
    m_streamType = streamType;
    play(dateTime);
    emit started();
}

void KAbstractViewWorker::quit()
{
    stop();
    setActive(false);
    emit finished();
}

void KAbstractViewWorker::play(QDateTime dateTime)
{
    if (!isActive())
        return;
    m_requested.store(1);
    m_startDateTime = dateTime;
    if (state() != 2 || !isConnected())
        return;
    if (!startView())
        return;
    setState(0);
    if (m_playbackSpeed != 3)
        applyPlaybackSpeed();
    startDateTimeTimer();
}

void KAbstractViewWorker::startDateTimeTimer()
{
    updateCurrentDateTime();
    deleteTimer();
    m_dateTimeTimer = new QTimer;
    m_dateTimeTimer->setInterval(1000);
    connect(m_dateTimeTimer, &QTimer::timeout, this, &KAbstractViewWorker::updateCurrentDateTime);
    m_dateTimeTimer->start();
}

void KAbstractViewWorker::stop()
{
    if (!isActive())
        return;
    m_requested.store(0);
    if (state() == 2 || !isConnected())
        return;
    if (stopView()) {
        setState(2);
        deleteTimer();
    }
}

void KAbstractViewWorker::pause()
{
    if (isActive() && state() == 0 && isConnected() && pauseView())
        setState(1);
}

void KAbstractViewWorker::resume()
{
    if (isActive() && state() == 1 && isConnected() && resumeView())
        setState(0);
}

void KAbstractViewWorker::restart(QDateTime dateTime)
{
    if (!isActive() || state() == 2)
        return;
    m_startDateTime = dateTime;
    stopView();
    startView();
}

void KAbstractViewWorker::setStreamType(int type)
{
    if (!isActive() || type == m_streamType)
        return;
    m_streamType = type;
    if (state() == 0) {
        stopView();
        startView();
    }
}

void KAbstractViewWorker::setPlaybackSpeed(int speed)
{
    if (!isActive() || speed == m_playbackSpeed)
        return;
    m_playbackSpeed = speed;
    if (state() != 2 && isConnected())
        applyPlaybackSpeed();
}

void KAbstractViewWorker::setVolume(int volume)
{
    if (!isActive() || volume == m_volume)
        return;
    m_volume = volume;
    if (state() != 2 && isConnected())
        applyVolume();
}

void KAbstractViewWorker::takeSnapshot(QString savePath)
{
    if (!isActive())
        return;
    m_snapshotSavePath = savePath;
    const bool result = state() != 2 && isConnected() && saveSnapshot();
    emit snapshotTaken(result);
}

void KAbstractViewWorker::updateCurrentDateTime()
{
    if (isActive() && m_requested.load() && state() != 2 && isConnected())
        readCurrentDateTime();
}

void KAbstractViewWorker::updateConnection()
{
    if (!isActive() || !m_requested.load())
        return;
    const bool connected = isConnected();
    if (!connected && state() == 0) {
        if (stopView())
            setState(2);
    } else if (connected && state() == 2) {
        // Resume where the picture was; a view that never showed one keeps its start time.
        const QDateTime shown = currentDateTime();
        if (shown.isValid())
            m_startDateTime = shown;
        if (startView()) {
            setState(0);
            if (m_playbackSpeed != 3)
                applyPlaybackSpeed();
            startDateTimeTimer();
        }
    }
}

void KAbstractViewWorker::deleteTimer()
{
    delete m_dateTimeTimer;
    m_dateTimeTimer = nullptr;
}
