#pragma once

#include <QMutex>

// Holds the recorder SDK's process-wide state: initialised after login (with the recorder
// connection time-out and one attempt, audio mode 2) and cleaned up at logout. Both steps run
// once however often they are called.
class KRecorderSDK
{
public:
    static KRecorderSDK *instance();
    ~KRecorderSDK();

    KRecorderSDK(const KRecorderSDK &) = delete;
    KRecorderSDK &operator=(const KRecorderSDK &) = delete;

    // True when the SDK is initialised after the call.
    bool initialize();
    void cleanup();
    bool isInitialized() const;

private:
    KRecorderSDK();

    // Guards m_initialized: the check and the SDK call go together.
    mutable QMutex m_mutex;
    bool m_initialized = false;
};
