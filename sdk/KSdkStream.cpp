#include "KSdkStream.h"

#include "KRecorderMessages.h"
#include "KRecorderProtocol.h"
#include "KSdkError.h"
#include "KSdkFrameStore.h"
#include "KSdkVideoSink.h"

#include <chrono>

using namespace KRecorderProtocol;

KSdkStream::KSdkStream(std::shared_ptr<KSdkSession> session, Kind kind, qint32 channel,
                       quint8 streamType, const KRecTime &from, const KRecTime &to)
    : m_session(std::move(session)), m_kind(kind), m_channel(channel), m_streamType(streamType),
      m_from(from), m_to(to)
{}

KSdkStream::~KSdkStream()
{
    stop();
}

void KSdkStream::setVideo(VSDK_WINDOW window, VSDK_REALDATA_CALLBACK callback, void *user,
                          int handle)
{
    m_window = window;
    m_callback = callback;
    m_callbackUser = user;
    m_handle = handle;
}

int KSdkStream::openConnection(const KSdkTimeouts &timeouts)
{
    int rc = m_socket.open(m_session->host(), m_session->port(), timeouts.connectMs, timeouts.tries,
                           timeouts.receiveMs, nullptr, &m_stop);
    if (rc != 0)
        return rc;
    KMsgStreamOpen msg;
    msg.token = m_session->token();
    msg.kind = quint8(m_kind);
    msg.channel = m_channel;
    msg.streamType = m_streamType;
    msg.from = m_from;
    msg.to = m_to;
    quint32 seq = 0;
    rc = m_socket.sendFrame(StreamOpen, msg.encode(), timeouts.receiveMs, &seq);
    KFrame reply;
    if (rc == 0)
        rc = KSdkSession::readReply(m_socket, seq, StreamOpened, reply,
                                    KSdkSocket::now() + timeouts.receiveMs, &m_stop);
    KMsgStreamOpened opened;
    if (rc == 0 && !opened.decode(reply.payload))
        rc = VSDK_ERR_BAD_DATA;
    if (rc == 0) {
        m_announced.width = opened.width;
        m_announced.height = opened.height;
        m_announced.fps = opened.fps;
        m_announced.codec = opened.codec;
        m_announced.bitRateKbps = int(qMin<quint32>(opened.bitRateKbps, INT_MAX));
        m_announced.keyFrameInterval = opened.keyFrameInterval;
    }
    if (rc == 0 && m_kind == Download) {
        m_file.setFileName(m_filePath);
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            rc = VSDK_ERR_FILE;
    }
    return rc;
}

int KSdkStream::open(const KSdkTimeouts &timeouts)
{
    std::lock_guard<std::mutex> lock(m_stopMutex);
    int rc = openConnection(timeouts);
    if (rc == 0 && m_stop.load())
        rc = VSDK_ERR_RECEIVE;
    if (rc != 0) {
        m_socket.close();
        if (m_file.isOpen())
            m_file.close();
        return rc;
    }
    if (m_kind != Download) {
        m_sink = std::make_unique<KSdkVideoSink>(m_window);
        m_sink->setFrameRate(m_announced.fps);
        // A playback sends nothing until it is started.
        m_sink->setQuiet(m_kind == Playback);
        m_sink->start();
    }
    const int receiveMs = timeouts.receiveMs;
    m_thread =
        std::thread([self = shared_from_this(), receiveMs] { self->receiveLoop(receiveMs); });
    return 0;
}

void KSdkStream::fail(int error)
{
    int expected = 0;
    m_failure.compare_exchange_strong(expected, error);
    std::lock_guard<std::mutex> lock(m_replyMutex);
    m_replyReady.notify_all();
}

namespace {

// The stream whose receiving thread this is, if any.
thread_local const KSdkStream *t_receiving = nullptr;

} // namespace

void KSdkStream::receiveLoop(int receiveTimeoutMs)
{
    t_receiving = this;
    const KFrameTypes accept =
        m_kind == Download ? KFrameTypes{Keepalive, Ok, Error, DownloadBegin, Data, StreamEnd}
                           : KFrameTypes{Keepalive, Ok, Error, VideoFrame, StreamEnd};
    while (!m_stop.load() && !m_ended.load()) {
        KFrame frame;
        int rc = m_socket.readStreamFrame(frame, accept, receiveTimeoutMs, &m_stop);
        if (m_stop.load())
            break;
        if (rc == 0)
            rc = handleFrame(frame);
        if (rc != 0) {
            fail(rc);
            break;
        }
    }
    if (m_file.isOpen())
        m_file.close();
    t_receiving = nullptr;
    std::lock_guard<std::mutex> lock(m_replyMutex);
    m_replyReady.notify_all();
}

int KSdkStream::handleFrame(const KFrame &frame)
{
    switch (frame.type) {
    case Keepalive:
        return 0;
    case Ok:
    case Error: {
        if (frame.seq == 0)
            return VSDK_ERR_BAD_DATA;
        std::lock_guard<std::mutex> lock(m_replyMutex);
        if (frame.seq == m_waitSeq) {
            m_reply = frame;
            m_hasReply = true;
            m_replyReady.notify_all();
        }
        // A late answer to a control that already timed out is dropped.
        return 0;
    }
    case VideoFrame: {
        if (m_kind == Download || frame.seq != 0)
            return VSDK_ERR_BAD_DATA;
        KMsgVideoFrame msg;
        if (!msg.decode(frame.payload))
            return VSDK_ERR_BAD_DATA;
        ++m_frames;
        if (m_callback)
            m_callback(m_handle, msg.keyFrame ? VSDK_DATA_KEY_FRAME : VSDK_DATA_FRAME,
                       reinterpret_cast<uint8_t *>(msg.accessUnit.data()),
                       uint32_t(msg.accessUnit.size()), m_callbackUser);
        m_sink->push(msg, HeaderSize + frame.payload.size());
        return 0;
    }
    case DownloadBegin: {
        KMsgDownloadBegin msg;
        if (m_kind != Download || frame.seq != 0 || m_total.load() != 0 ||
            !msg.decode(frame.payload))
            return VSDK_ERR_BAD_DATA;
        m_total.store(msg.totalBytes);
        return 0;
    }
    case Data: {
        KMsgData msg;
        if (m_kind != Download || frame.seq != 0 || m_total.load() == 0 ||
            !msg.decode(frame.payload))
            return VSDK_ERR_BAD_DATA;
        if (m_received.load() + quint64(msg.bytes.size()) > m_total.load())
            return VSDK_ERR_BAD_DATA;
        if (m_file.write(msg.bytes) != msg.bytes.size())
            return VSDK_ERR_FILE;
        m_received += quint64(msg.bytes.size());
        return 0;
    }
    case StreamEnd: {
        KMsgStreamEnd msg;
        if (frame.seq != 0 || !msg.decode(frame.payload))
            return VSDK_ERR_BAD_DATA;
        if (msg.reason != 0)
            return VSDK_ERR_DEVICE;
        if (m_kind == Download) {
            if (m_total.load() == 0 || m_received.load() != m_total.load())
                return VSDK_ERR_BAD_DATA;
            if (!m_file.flush())
                return VSDK_ERR_FILE;
            m_file.close();
            m_complete.store(true);
        }
        if (m_sink)
            m_sink->setQuiet(true);
        m_ended.store(true);
        return 0;
    }
    default:
        return VSDK_ERR_BAD_DATA;
    }
}

int KSdkStream::control(quint8 action, qint8 speed, const KSdkTimeouts &timeouts)
{
    if (const int f = m_failure.load())
        return f;
    if (m_ended.load())
        return action == ControlStart ? VSDK_ERR_ORDER : 0;
    KMsgStreamControl msg;
    msg.action = action;
    msg.speed = speed;
    std::lock_guard<std::mutex> serial(m_controlMutex);
    std::unique_lock<std::mutex> lock(m_replyMutex);
    m_hasReply = false;
    quint32 seq = 0;
    // The seq is known only after sending; the receiving thread matches under this lock, so
    // a fast answer is not lost.
    int rc = m_socket.sendFrame(StreamControl, msg.encode(), timeouts.receiveMs, &seq);
    if (rc != 0)
        return rc;
    m_waitSeq = seq;
    const bool answered =
        m_replyReady.wait_for(lock, std::chrono::milliseconds(timeouts.receiveMs), [this] {
            return m_hasReply || m_failure.load() != 0 || m_ended.load() || m_stop.load();
        });
    m_waitSeq = 0;
    if (m_hasReply) {
        m_hasReply = false;
        if (m_reply.type == Error) {
            KMsgError e;
            if (!e.decode(m_reply.payload) || e.code == 0)
                return VSDK_ERR_BAD_DATA;
            return KSdkError::fromRecorder(e.code);
        }
        return m_reply.payload.isEmpty() ? 0 : VSDK_ERR_BAD_DATA;
    }
    if (const int f = m_failure.load())
        return f;
    if (m_ended.load())
        return 0;
    return answered ? VSDK_ERR_RECEIVE : VSDK_ERR_RECEIVE_TIMEOUT;
}

void KSdkStream::stop()
{
    m_stop.store(true);
    m_socket.shutdown();
    // From the stream's own callback: the loop ends as soon as the callback returns, and the
    // rest is done by whoever drops the last reference.
    if (t_receiving == this)
        return;
    std::lock_guard<std::mutex> lock(m_stopMutex);
    if (m_thread.joinable()) {
        // The last reference may be the receiving thread's own, which cannot join itself.
        if (m_thread.get_id() == std::this_thread::get_id())
            m_thread.detach();
        else
            m_thread.join();
    }
    m_socket.close();
    if (m_sink)
        m_sink->stop();
    if (m_file.isOpen())
        m_file.close();
}

int KSdkStream::downloadPos() const
{
    if (m_complete.load())
        return 100;
    if (m_failure.load() != 0)
        return 200;
    const quint64 total = m_total.load();
    if (total == 0)
        return 0;
    return int(qMin<quint64>(99, m_received.load() * 100 / total));
}

bool KSdkStream::picture(KRecTime *time, QImage *image) const
{
    KSdkPicture decoded;
    if (!m_sink || !m_sink->store()->picture(time, &decoded))
        return false;
    if (image)
        *image = KSdkVideoDecoder::fullSize(decoded.get());
    return !image || !image->isNull();
}

KRecTime KSdkStream::shownTime() const
{
    KRecTime t;
    if (picture(&t, nullptr))
        return t;
    return m_from;
}

KSdkStreamStats KSdkStream::stats() const
{
    return m_sink ? m_sink->store()->stats() : KSdkStreamStats();
}

void KSdkStream::setPaused(bool paused)
{
    if (m_sink)
        m_sink->setQuiet(paused);
}
