#include "KSdkSocket.h"

#include "HCNetSDK.h"
#include "KRecorderMessages.h"
#include "KRecorderProtocol.h"
#include "KSdkError.h"

#include <QElapsedTimer>
#include <QString>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

qint64 KSdkSocket::now()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

KSdkSocket::~KSdkSocket()
{
    close();
}

int KSdkSocket::connectOnce(const QByteArray &host, quint16 port, int timeoutMs,
                            const std::atomic<bool> *cancel)
{
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *list = nullptr;
    const QByteArray service = QByteArray::number(port);
    if (getaddrinfo(host.constData(), service.constData(), &hints, &list) != 0 || !list)
        return VSDK_ERR_CONNECT;
    const qint64 deadline = now() + timeoutMs;
    int result = VSDK_ERR_CONNECT;
    for (addrinfo *a = list; a && result != 0; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0)
            continue;
        int rc = ::connect(fd, a->ai_addr, a->ai_addrlen);
        if (rc != 0 && errno == EINPROGRESS) {
            pollfd p = {fd, POLLOUT, 0};
            for (rc = 0; rc == 0 && !(cancel && cancel->load());) {
                const qint64 left = deadline - now();
                if (left <= 0)
                    break;
                rc = ::poll(&p, 1, int(qMin<qint64>(left, 200)));
                if (rc < 0 && errno == EINTR)
                    rc = 0;
            }
            int err = 0;
            socklen_t len = sizeof(err);
            if (rc == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0)
                rc = 0;
            else
                rc = -1;
        }
        if (rc == 0) {
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
            m_fd.store(fd);
            result = 0;
        } else {
            ::close(fd);
        }
    }
    freeaddrinfo(list);
    return result;
}

int KSdkSocket::open(const QByteArray &host, quint16 port, int connectTimeoutMs, int tries,
                     int receiveTimeoutMs, QByteArray *nonce, const std::atomic<bool> *cancel)
{
    close();
    int rc = VSDK_ERR_CONNECT;
    for (int i = 0; i < qMax(1, tries) && rc != 0 && !(cancel && cancel->load()); ++i)
        rc = connectOnce(host, port, connectTimeoutMs, cancel);
    if (rc != 0)
        return rc;
    KFrame hello;
    rc = readFrame(hello, {KRecorderProtocol::Hello, KRecorderProtocol::Error},
                   now() + receiveTimeoutMs, cancel);
    if (rc == 0 && hello.type == KRecorderProtocol::Error) {
        // A recorder may refuse at once with its reason; an Error without one is no greeting.
        KMsgError e;
        rc = e.decode(hello.payload) && e.code != 0 ? KSdkError::fromRecorder(e.code)
                                                    : VSDK_ERR_BAD_DATA;
    } else if (rc == 0) {
        KMsgHello h;
        if (hello.seq != 0 || !h.decode(hello.payload))
            rc = VSDK_ERR_BAD_DATA;
        else if (nonce)
            *nonce = h.nonce;
    }
    if (rc != 0)
        close();
    return rc;
}

int KSdkSocket::sendFrame(quint8 type, const QByteArray &payload, int timeoutMs, quint32 *seq)
{
    std::lock_guard<std::mutex> lock(m_sendMutex);
    const int fd = m_fd.load();
    if (fd < 0)
        return VSDK_ERR_SEND;
    const quint32 s = ++m_seq;
    if (seq)
        *seq = s;
    const QByteArray frame = KFrame::encode(type, s, payload);
    const qint64 deadline = now() + timeoutMs;
    int sent = 0;
    while (sent < frame.size()) {
        const ssize_t n =
            ::send(fd, frame.constData() + sent, size_t(frame.size() - sent), MSG_NOSIGNAL);
        if (n > 0) {
            sent += int(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return VSDK_ERR_SEND;
        const qint64 left = deadline - now();
        if (left <= 0)
            return VSDK_ERR_SEND;
        pollfd p = {fd, POLLOUT, 0};
        if (::poll(&p, 1, int(qMin<qint64>(left, 200))) < 0 && errno != EINTR)
            return VSDK_ERR_SEND;
    }
    return 0;
}

int KSdkSocket::readExact(char *buffer, int count, qint64 deadline, int silenceMs,
                          const std::atomic<bool> *cancel)
{
    qint64 lastByte = now();
    int got = 0;
    while (got < count) {
        const int fd = m_fd.load();
        if (fd < 0)
            return VSDK_ERR_RECEIVE;
        const ssize_t n = ::recv(fd, buffer + got, size_t(count - got), 0);
        if (n > 0) {
            got += int(n);
            lastByte = now();
            continue;
        }
        if (n == 0)
            return VSDK_ERR_RECEIVE; // closed by the peer
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return VSDK_ERR_RECEIVE;
        if (cancel && cancel->load())
            return VSDK_ERR_RECEIVE;
        const qint64 until = silenceMs > 0 ? qMin(deadline, lastByte + silenceMs) : deadline;
        const qint64 left = until - now();
        if (left <= 0)
            return VSDK_ERR_RECEIVE_TIMEOUT;
        pollfd p = {fd, POLLIN, 0};
        const int rc = ::poll(&p, 1, int(qMin<qint64>(left, 200)));
        if (rc < 0 && errno != EINTR)
            return VSDK_ERR_RECEIVE;
    }
    return 0;
}

int KSdkSocket::read(KFrame &frame, const KFrameTypes &accept, qint64 deadline, int silenceMs,
                     const std::atomic<bool> *cancel)
{
    std::lock_guard<std::mutex> lock(m_readMutex);
    char header[KRecorderProtocol::HeaderSize];
    int rc = readExact(header, int(sizeof(header)), deadline, silenceMs, cancel);
    if (rc != 0)
        return rc;
    quint8 type = 0;
    quint32 seq = 0;
    quint32 length = 0;
    const KFrame::HeaderStatus status = KFrame::parseHeader(header, type, seq, length);
    if (status == KFrame::BadVersion)
        return VSDK_ERR_VERSION;
    // A type the caller does not expect here is refused before its payload is waited for.
    if (status != KFrame::HeaderOk || !accept.contains(type))
        return VSDK_ERR_BAD_DATA;
    // A stream's large frame gets time in proportion to its size, at a floor of 32 KiB/s, so a
    // slow link still works but a trickling peer cannot hold the stream for ever.
    if (silenceMs > 0)
        deadline = now() + silenceMs + qint64(length) / 32;
    QByteArray payload(int(length), Qt::Uninitialized);
    rc = readExact(payload.data(), int(length), deadline, silenceMs, cancel);
    if (rc != 0)
        return rc;
    frame.type = type;
    frame.seq = seq;
    frame.payload = payload;
    return 0;
}

int KSdkSocket::readFrame(KFrame &frame, const KFrameTypes &accept, qint64 deadline,
                          const std::atomic<bool> *cancel)
{
    return read(frame, accept, deadline, 0, cancel);
}

int KSdkSocket::readStreamFrame(KFrame &frame, const KFrameTypes &accept, int silenceMs,
                                const std::atomic<bool> *cancel)
{
    return read(frame, accept, std::numeric_limits<qint64>::max(), qMax(1, silenceMs), cancel);
}

bool KSdkSocket::isClosedByPeer() const
{
    const int fd = m_fd.load();
    if (fd < 0)
        return true;
    pollfd p = {fd, POLLIN | POLLRDHUP, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

void KSdkSocket::shutdown()
{
    std::lock_guard<std::mutex> lock(m_fdMutex);
    const int fd = m_fd.load();
    if (fd >= 0)
        ::shutdown(fd, SHUT_RDWR);
}

void KSdkSocket::close()
{
    shutdown();
    std::lock_guard<std::mutex> readLock(m_readMutex);
    std::lock_guard<std::mutex> sendLock(m_sendMutex);
    std::lock_guard<std::mutex> fdLock(m_fdMutex);
    const int fd = m_fd.exchange(-1);
    if (fd >= 0)
        ::close(fd);
}
