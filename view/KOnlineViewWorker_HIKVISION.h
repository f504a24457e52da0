#pragma once

#include "KAbstractOnlineViewWorker.h"

class KObjectHandler_HIKVISION;

// Live view through the recorder SDK's real play.
class KOnlineViewWorker_HIKVISION : public KAbstractOnlineViewWorker
{
    Q_OBJECT

public:
    KOnlineViewWorker_HIKVISION(KObjectHandler_HIKVISION *object, int windowHandle,
                                QObject *parent = nullptr);

protected:
    bool startView() override;
    bool stopView() override;
    bool applyVolume() override;
    bool saveSnapshot() override;
    void readCurrentDateTime() override;

private:
    KObjectHandler_HIKVISION *m_recorder = nullptr;
};
