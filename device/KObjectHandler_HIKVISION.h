#pragma once

#include "KObjectHandler.h"

#include <QByteArray>

#include <atomic>

// An object whose recorder is driven through the recorder SDK (recorder type 1). Adds the
// SDK login of the open connection and the raw device information of the last login.
class KObjectHandler_HIKVISION : public KObjectHandler
{
    Q_OBJECT

public:
    // Size of the SDK's device-information record kept from the login.
    static constexpr int deviceInfoSize = 80;

    explicit KObjectHandler_HIKVISION(const KObjectData &record, QObject *parent = nullptr);
    ~KObjectHandler_HIKVISION() override;

    // SDK user ID of the open recorder login, -1 when none; read by view, search and
    // download workers on their threads.
    int loginID() const { return m_loginID.load(); }
    void setLoginID(int loginID) { m_loginID.store(loginID); }

    // The device-information record returned by the last successful login (zeroes before).
    QByteArray deviceInfo() const;
    void setDeviceInfo(const QByteArray &deviceInfo);

private:
    std::atomic<int> m_loginID{-1};
    // Guards m_deviceInfo.
    mutable QReadWriteLock m_deviceInfoLock;
    QByteArray m_deviceInfo;
};
