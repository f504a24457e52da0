#pragma once

#include "KAbstractViewWorker.h"

// Live view of one channel: logs start and stop; there is no pause and no speed.
class KAbstractOnlineViewWorker : public KAbstractViewWorker
{
    Q_OBJECT

public:
    using KAbstractViewWorker::KAbstractViewWorker;

public slots:
    void play(QDateTime dateTime) override;
    void stop() override;

private slots:
    void pause() override {}

protected:
    bool pauseView() override { return false; }
    bool resumeView() override { return false; }
    bool applyPlaybackSpeed() override { return false; }
};
