#pragma once

#include "KAbstractDiagnosticsWorker.h"

class KObjectHandler_HIKVISION;

// Diagnostics of recorders driven through the recorder SDK: the recorder's general state from
// the last connection, its disks and its cameras.
class KDiagnosticsWorker_HIKVISION : public KAbstractDiagnosticsWorker
{
    Q_OBJECT

public:
    explicit KDiagnosticsWorker_HIKVISION(KObjectHandler_HIKVISION *object,
                                          QObject *parent = nullptr);
    ~KDiagnosticsWorker_HIKVISION() override;

protected:
    void checkRecorder() override;
    void checkStorage() override;
    void checkCameras() override;

private:
    // "ERR_HIKGEN_" + lastError when the recorder reported an error, "NAN" otherwise.
    QString generalErrorCode() const;
};
