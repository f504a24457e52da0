#pragma once

#include "KAbstractWorker.h"

#include <atomic>

class KObjectHandler;

// A worker that talks to the recorder of one object. The object outlives every job run for it.
class KAbstractDeviceWorker : public KAbstractWorker
{
    Q_OBJECT

public:
    explicit KAbstractDeviceWorker(KObjectHandler *object, QObject *parent = nullptr);
    ~KAbstractDeviceWorker() override;

    KObjectHandler *object() const { return m_object; }

protected:
    KObjectHandler *m_object = nullptr;
    // A play request is standing (view workers).
    std::atomic<int> m_requested{0};
    // SDK handle of the current stream, playback or download; -1 when none.
    std::atomic<int> m_handle{-1};
};
