#pragma once

#include "KAbstractViewWorker.h"

// Archive playback of one channel from a moment: logs every step of the playback.
class KAbstractArchiveViewWorker : public KAbstractViewWorker
{
    Q_OBJECT

public:
    using KAbstractViewWorker::KAbstractViewWorker;

    // The text of a speed index ("1/8x" .. "8x"); empty for other values.
    static QString speedText(int speed);

public slots:
    void play(QDateTime dateTime) override;
    void stop() override;
    void restart(QDateTime dateTime) override;
    void pause() override;
    void resume() override;
};
