#include "KObjectHandler_HIKVISION.h"

#include <QReadLocker>
#include <QWriteLocker>

KObjectHandler_HIKVISION::KObjectHandler_HIKVISION(const KObjectData &record, QObject *parent)
    : KObjectHandler(record, parent), m_deviceInfo(deviceInfoSize, '\0')
{
    m_recorderType = 1;
    updateRecord([](KObjectData &r) {
        r.recorder.type = 1;
        // Milliseconds per channel number by which view workers stagger their starts.
        r.recorder.channelStartDelay = 20;
    });
}

KObjectHandler_HIKVISION::~KObjectHandler_HIKVISION() = default;

QByteArray KObjectHandler_HIKVISION::deviceInfo() const
{
    QReadLocker locker(&m_deviceInfoLock);
    return m_deviceInfo;
}

void KObjectHandler_HIKVISION::setDeviceInfo(const QByteArray &deviceInfo)
{
    QWriteLocker locker(&m_deviceInfoLock);
    m_deviceInfo = deviceInfo.left(deviceInfoSize);
    m_deviceInfo.append(QByteArray(deviceInfoSize - m_deviceInfo.size(), '\0'));
}
