#pragma once

#include "KAbstractDeviceWorker.h"

#include <QString>

// Condenses the health of one object's equipment into five status codes (modem, tracker,
// recorder, storage, cameras) in the object's record.
class KAbstractDiagnosticsWorker : public KAbstractDeviceWorker
{
    Q_OBJECT

public:
    explicit KAbstractDiagnosticsWorker(KObjectHandler *object, QObject *parent = nullptr);
    ~KAbstractDiagnosticsWorker() override;

    // The channel id in codes: the map key without "CAM" (ACAM01 gives A01).
    static QString channelCodeID(const QString &channelID);

signals:
    void resultReceived();

public slots:
    virtual void run();
    virtual void quit();

protected:
    virtual void collect();
    virtual void checkModem();
    virtual void checkRecorder();
    virtual void checkStorage() = 0;
    virtual void checkCameras() = 0;
    virtual void checkTracker();

    // The connection state read once at the start of collect().
    int m_connectionState = 0;
};
