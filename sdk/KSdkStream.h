#pragma once

#include "HCNetSDK.h"
#include "KFrame.h"
#include "KRecTime.h"
#include "KSdkFrameStore.h"
#include "KSdkSession.h"
#include "KSdkSocket.h"

#include <QFile>
#include <QImage>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class KSdkVideoSink;

// One live view, playback or download: its own connection to the recorder and a thread that
// receives the stream. Control calls are answered through that thread. Made with make_shared:
// the receiving thread holds a reference, so a stream stopped from its own data callback
// lives until that thread is done with it.
class KSdkStream : public std::enable_shared_from_this<KSdkStream>
{
public:
    enum Kind { Live = 1, Playback = 2, Download = 3 };

    KSdkStream(std::shared_ptr<KSdkSession> session, Kind kind, qint32 channel, quint8 streamType,
               const KRecTime &from, const KRecTime &to);
    ~KSdkStream();

    void setVideo(VSDK_WINDOW window, VSDK_REALDATA_CALLBACK callback, void *user, int handle);
    void setDownloadFile(const QString &path) { m_filePath = path; }
    // Connects, opens the stream and starts receiving. A stop() meanwhile ends it within
    // ~200 ms (and waits for it).
    int open(const KSdkTimeouts &timeouts);
    int control(quint8 action, qint8 speed, const KSdkTimeouts &timeouts);
    // Ends the stream: from any thread, the stream's own callback included.
    void stop();

    Kind kind() const { return m_kind; }
    // 0 while the connection is sound, else the error that ended it.
    int failure() const { return m_failure.load(); }
    bool ended() const { return m_ended.load(); }
    int downloadPos() const;
    quint64 downloadedBytes() const { return m_received.load(); }
    // The picture shown now (decoded, at full size), with its time.
    bool picture(KRecTime *time, QImage *image) const;
    KRecTime shownTime() const;
    quint64 receivedFrames() const { return m_frames.load(); }
    // What the stream announced when it opened.
    struct Announced
    {
        int width = 0;
        int height = 0;
        int fps = 0;
        int codec = 0;
        int bitRateKbps = 0;
        int keyFrameInterval = 0;
    };
    Announced announced() const { return m_announced; }
    KSdkStreamStats stats() const;
    // Paused streams expect no pictures (and are not a weak link meanwhile).
    void setPaused(bool paused);

    // Local state of the sound and speed calls (no audio travels).
    std::atomic<bool> soundOn{false};
    std::atomic<int> volume{0xFFFF};
    std::atomic<int> speedLevel{0};
    std::atomic<bool> started{false};

private:
    void receiveLoop(int receiveTimeoutMs);
    int handleFrame(const KFrame &frame);
    void fail(int error);
    int openConnection(const KSdkTimeouts &timeouts);

    const std::shared_ptr<KSdkSession> m_session;
    const Kind m_kind;
    const qint32 m_channel;
    const quint8 m_streamType;
    const KRecTime m_from;
    const KRecTime m_to;
    QString m_filePath;
    VSDK_WINDOW m_window = 0;
    VSDK_REALDATA_CALLBACK m_callback = nullptr;
    void *m_callbackUser = nullptr;
    int m_handle = -1;

    KSdkSocket m_socket;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_failure{0};
    std::atomic<bool> m_ended{false};
    std::atomic<quint64> m_frames{0};

    // Held by open() and stop(): stop() may come from two calls at once (control 2, stop) or
    // while the stream opens (cleanup); guards m_thread.
    std::mutex m_stopMutex;
    std::mutex m_controlMutex; // one control call at a time
    std::mutex m_replyMutex;   // guards the control reply hand-over below
    std::condition_variable m_replyReady;
    quint32 m_waitSeq = 0;
    bool m_hasReply = false;
    KFrame m_reply;

    QFile m_file; // written by the receiving thread only
    std::atomic<quint64> m_total{0};
    std::atomic<quint64> m_received{0};
    std::atomic<bool> m_complete{false};

    Announced m_announced; // written by open() before the receiving thread starts
    std::unique_ptr<KSdkVideoSink> m_sink;
};
