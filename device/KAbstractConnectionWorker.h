#pragma once

#include "KAbstractDeviceWorker.h"

// A connection job for one object: reachability through the vehicle status port (else the
// recorder port), an optional recorder login, the device information and channel list after
// the first login, the recorder clock on every connected run; reports one connection state.
class KAbstractConnectionWorker : public KAbstractDeviceWorker
{
    Q_OBJECT

public:
    // Bit 0 of the run options asks for a login.
    static constexpr int loginOption = 1;

    explicit KAbstractConnectionWorker(KObjectHandler *object, QObject *parent = nullptr);
    ~KAbstractConnectionWorker() override;

signals:
    void resultReceived(int state);

public slots:
    virtual void run(int options);
    virtual void quit();

protected:
    virtual bool login() = 0;
    virtual bool updateDeviceTime() = 0;
    virtual bool updateDeviceInfo() = 0;
    virtual bool updateChannels() = 0;
    // The last updateDeviceTime() failed because the recorder no longer knows the login (it
    // restarted since): the connection needs a new login.
    virtual bool isLoginLost() const { return false; }

    // Fills networkType, signalLevel, checkTime and responseTime; true when reachable.
    bool checkReachability();
    // A log line about the object, with the SDK's error code or 0.
    void log(const QString &message, int code = 0) const;
};
