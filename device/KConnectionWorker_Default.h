#pragma once

#include "KAbstractConnectionWorker.h"

// For recorder types the system does not drive: never logs in, so a reachable object is
// reported as state 3.
class KConnectionWorker_Default : public KAbstractConnectionWorker
{
    Q_OBJECT

public:
    explicit KConnectionWorker_Default(KObjectHandler *object, QObject *parent = nullptr);
    ~KConnectionWorker_Default() override;

protected:
    bool login() override;
    bool updateDeviceTime() override;
    bool updateDeviceInfo() override;
    bool updateChannels() override;
};
