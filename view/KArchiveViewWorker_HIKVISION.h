#pragma once

#include "KAbstractArchiveViewWorker.h"

class KObjectHandler_HIKVISION;

// Archive playback through the recorder SDK's playback by time; it ends with the start day.
class KArchiveViewWorker_HIKVISION : public KAbstractArchiveViewWorker
{
    Q_OBJECT

public:
    KArchiveViewWorker_HIKVISION(KObjectHandler_HIKVISION *object, int windowHandle,
                                 QObject *parent = nullptr);

protected:
    bool startView() override;
    bool pauseView() override;
    bool resumeView() override;
    bool stopView() override;
    bool applyPlaybackSpeed() override;
    bool applyVolume() override;
    bool saveSnapshot() override;
    void readCurrentDateTime() override;

private:
    // One playback control; on failure logs the text (when given) with the SDK's error.
    bool control(uint32_t code, uint32_t value = 0, const QString &errorText = QString());
    // The playback's on-screen time; invalid when the SDK has none.
    QDateTime osdTime() const;

    KObjectHandler_HIKVISION *m_recorder = nullptr;
};
