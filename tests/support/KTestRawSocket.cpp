#include "KTestRawSocket.h"

#include <QElapsedTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool wouldBlock()
{
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}

} // namespace

KTestRawSocket::~KTestRawSocket()
{
    close();
}

bool KTestRawSocket::connectTo(const QString &host, quint16 port, int timeoutMs, int sendBuffer)
{
    close();
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (inet_pton(AF_INET, host.toLatin1().constData(), &a.sin_addr) != 1)
        return false;
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    if (m_fd < 0)
        return false;
    if (sendBuffer > 0)
        setsockopt(m_fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof(sendBuffer));
    if (::connect(m_fd, reinterpret_cast<sockaddr *>(&a), sizeof(a)) < 0 && errno != EINPROGRESS) {
        close();
        return false;
    }
    pollfd p = {m_fd, POLLOUT, 0};
    int error = 0;
    socklen_t size = sizeof(error);
    if (::poll(&p, 1, timeoutMs) != 1 ||
        getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
        close();
        return false;
    }
    return true;
}

void KTestRawSocket::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

qint64 KTestRawSocket::push(const QByteArray &block, qint64 bytes, int timeoutMs, int stallMs,
                            const std::function<void()> &tick)
{
    QElapsedTimer clock;
    clock.start();
    QElapsedTimer idle;
    idle.start();
    qint64 sent = 0;
    while (m_fd >= 0 && !block.isEmpty() && sent < bytes && clock.elapsed() < timeoutMs &&
           (stallMs <= 0 || idle.elapsed() < stallMs)) {
        const qint64 offset = sent % block.size();
        const qint64 want = qMin(bytes - sent, block.size() - offset);
        const ssize_t n =
            ::send(m_fd, block.constData() + offset, size_t(want), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += n;
            idle.start();
        } else if (n < 0 && wouldBlock()) {
            pollfd p = {m_fd, POLLOUT, 0};
            ::poll(&p, 1, 20);
        } else {
            break;
        }
        if (tick)
            tick();
    }
    return sent;
}

QByteArray KTestRawSocket::read(int timeoutMs, int maxBytes)
{
    QByteArray bytes;
    if (m_fd < 0)
        return bytes;
    pollfd p = {m_fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) != 1)
        return bytes;
    bytes.resize(maxBytes);
    const ssize_t n = ::recv(m_fd, bytes.data(), size_t(maxBytes), MSG_DONTWAIT);
    bytes.resize(n > 0 ? int(n) : 0);
    return bytes;
}

bool KTestRawSocket::isOpen()
{
    if (m_fd < 0)
        return false;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::recv(m_fd, buffer, sizeof(buffer), MSG_DONTWAIT);
        if (n > 0)
            continue;
        return n < 0 && wouldBlock();
    }
}
