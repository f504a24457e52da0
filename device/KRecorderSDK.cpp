#include "KRecorderSDK.h"

#include "HCNetSDK.h"
#include "KSettings.h"

KRecorderSDK::KRecorderSDK() = default;

// No clean-up here: at process exit the SDK's own state may already be gone; logout cleans up.
KRecorderSDK::~KRecorderSDK() = default;

KRecorderSDK *KRecorderSDK::instance()
{
    static KRecorderSDK sdk;
    return &sdk;
}

bool KRecorderSDK::initialize()
{
    QMutexLocker locker(&m_mutex);
    if (m_initialized)
        return true;
    if (!NET_DVR_Init())
        return false;
    NET_DVR_SetConnectTime(uint32_t(KSettings::instance()->recorderConnectionTimeout()), 1);
    NET_DVR_SetAudioMode(2);
    m_initialized = true;
    return true;
}

void KRecorderSDK::cleanup()
{
    QMutexLocker locker(&m_mutex);
    if (!m_initialized)
        return;
    NET_DVR_Cleanup();
    m_initialized = false;
}

bool KRecorderSDK::isInitialized() const
{
    QMutexLocker locker(&m_mutex);
    return m_initialized;
}
