#pragma once

#include "HCNetSDK.h"
#include "KRecTime.h"
#include "KSdkFrameStore.h"
#include "KSdkVideoDecoder.h"

#include <QByteArray>
#include <atomic>
#include <memory>

struct KMsgVideoFrame;

// Decodes a stream's pictures on the stream's own receiving thread and hands the newest one,
// scaled to the window, to the screen; there is no queue: the surface paints whatever is
// newest when it gets to it. Counts what the link and the decoder did on the way. After a
// picture is missing or broken, everything up to the next key frame is left out, so a
// picture is never painted over a reference it does not have.
class KSdkVideoSink
{
public:
    explicit KSdkVideoSink(VSDK_WINDOW window);
    ~KSdkVideoSink();

    void start();
    void stop();
    // One VideoFrame of frameBytes on the wire; the stream's announced rate paces lateness.
    void push(const KMsgVideoFrame &frame, int frameBytes);
    void setFrameRate(int fps)
    {
        m_fps = qMax(1, fps);
        m_store->setFrameRate(m_fps);
    }
    // Paused or ended: no picture is due, and the next one starts a fresh timing.
    void setQuiet(bool quiet);
    std::shared_ptr<KSdkFrameStore> store() const { return m_store; }

    // A picture this much later than the stream's pace is late.
    static constexpr int LateMs = 300;

private:
    void requestRepaint();
    void createSurface();
    // The statistics of one arrival; true when pictures before it were left out.
    bool account(const KMsgVideoFrame &frame, int frameBytes, qint64 now);
    void trouble(qint64 now) { m_lastTroubleMs = now; }

    const VSDK_WINDOW m_window;
    std::shared_ptr<KSdkFrameStore> m_store;
    bool m_onScreen = false;
    KSdkVideoDecoder m_decoder; // stream's thread only, as is everything below
    KSdkPicture m_previous;     // the last decoded picture
    QImage m_scaled;            // it at the window's size
    bool m_needKey = true;
    int m_fps = 25;
    KSdkStreamStats m_stats;
    bool m_haveNumber = false;
    quint32 m_lastNumber = 0;
    quint32 m_lastKeyNumber = 0;
    qint64 m_lastArrivalMs = -1;
    qint64 m_lastTroubleMs = -1;
    // Lateness: arrival less the picture's place in the stream, against its least value of
    // the last few seconds (kept per second).
    static constexpr int PaceSeconds = 5;
    qint64 m_paceMin[PaceSeconds] = {};
    qint64 m_paceSecond[PaceSeconds] = {};
    std::atomic<bool> m_paceReset{true}; // also set from a control call's thread
    // Bytes per quarter second over the last two seconds.
    static constexpr int RateSlots = 8;
    qint64 m_rateBytes[RateSlots] = {};
    qint64 m_rateSlot[RateSlots] = {};
};
