#pragma once

#include "HCNetSDK.h"
#include "KRecTime.h"

#include <QByteArray>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class KSdkFrameStore;

// Decodes a stream's JPEG pictures on its own thread and hands the newest one to the screen.
// push() never blocks: a picture that arrives while the previous one still waits for the
// decoder replaces it, so a slow machine shows fewer pictures instead of growing a queue.
class KSdkVideoSink
{
public:
    explicit KSdkVideoSink(VSDK_WINDOW window);
    ~KSdkVideoSink();

    void start();
    void stop();
    void push(const KRecTime &time, const QByteArray &jpeg);
    std::shared_ptr<KSdkFrameStore> store() const { return m_store; }

    quint64 decodedFrames() const { return m_decoded.load(); }
    quint64 droppedFrames() const { return m_dropped.load(); }

    // Largest picture accepted (width and height); larger ones are skipped undecoded.
    static constexpr int MaxDimension = 8192;
    static constexpr qint64 MaxPixels = 40LL * 1000 * 1000;

private:
    void decodeLoop();
    void requestRepaint();
    void createSurface();

    const VSDK_WINDOW m_window;
    std::shared_ptr<KSdkFrameStore> m_store;
    bool m_onScreen = false;
    std::thread m_thread;
    std::mutex m_mutex; // guards m_stop and the pending picture
    std::condition_variable m_wake;
    bool m_stop = false;
    bool m_hasPending = false;
    KRecTime m_pendingTime;
    QByteArray m_pendingJpeg;
    std::atomic<quint64> m_decoded{0};
    std::atomic<quint64> m_dropped{0};
};
