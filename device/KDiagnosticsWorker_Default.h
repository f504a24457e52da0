#pragma once

#include "KAbstractDiagnosticsWorker.h"

// For recorder types the system does not drive: the recorder, storage and camera codes stay
// "NAN".
class KDiagnosticsWorker_Default : public KAbstractDiagnosticsWorker
{
    Q_OBJECT

public:
    explicit KDiagnosticsWorker_Default(KObjectHandler *object, QObject *parent = nullptr);
    ~KDiagnosticsWorker_Default() override;

protected:
    void checkRecorder() override;
    void checkStorage() override;
    void checkCameras() override;
};
