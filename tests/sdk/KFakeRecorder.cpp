#include "KFakeRecorder.h"

#include "KRecorderMessages.h"
#include "KRecorderProtocol.h"
#include "KTestEmulator.h"

#include <QDeadlineTimer>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace KRecorderProtocol;

KFakeConnection::~KFakeConnection()
{
    ::close(m_fd);
}

bool KFakeConnection::sendRaw(const QByteArray &bytes)
{
    for (int sent = 0; !m_closed && sent < bytes.size();) {
        const ssize_t n =
            ::send(m_fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += int(n);
    }
    return !m_closed;
}

bool KFakeConnection::sendFrame(quint8 type, quint32 seq, const QByteArray &payload)
{
    return sendRaw(KFrame::encode(type, seq, payload));
}

bool KFakeConnection::sendHello()
{
    KMsgHello hello;
    hello.nonce = randomNonce();
    return sendFrame(Hello, 0, hello.encode());
}

bool KFakeConnection::startDownload(quint32 controlSeq, quint64 totalBytes, const QByteArray &data)
{
    KMsgDownloadBegin begin;
    begin.totalBytes = totalBytes;
    KMsgData first;
    first.bytes = data;
    return sendFrame(Ok, controlSeq) && sendFrame(DownloadBegin, 0, begin.encode()) &&
           sendFrame(Data, 0, first.encode());
}

bool KFakeConnection::readFrame(KFrame &frame, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    char chunk[65536];
    while (!m_reader.next(frame)) {
        pollfd p = {m_fd, POLLIN, 0};
        if (m_reader.hasError() || m_closed || deadline.hasExpired() ||
            ::poll(&p, 1, int(deadline.remainingTime())) <= 0)
            return false;
        const ssize_t n = ::recv(m_fd, chunk, sizeof(chunk), 0);
        if (n <= 0)
            return false;
        m_reader.append(QByteArray(chunk, int(n)));
    }
    return true;
}

bool KFakeConnection::waitClosed(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!m_closed && !deadline.hasExpired()) {
        pollfd p = {m_fd, POLLIN, 0};
        char chunk[4096];
        if (::poll(&p, 1, 50) > 0 && ::recv(m_fd, chunk, sizeof(chunk), 0) <= 0)
            return true;
    }
    return false;
}

bool KFakeConnection::hangUpSeen(int timeoutMs)
{
    ::shutdown(m_fd, SHUT_WR);
    QDeadlineTimer deadline(timeoutMs);
    tcp_info info = {};
    socklen_t length = sizeof(info);
    bool seen = false;
    while (!(seen = ::getsockopt(m_fd, IPPROTO_TCP, TCP_INFO, &info, &length) == 0 &&
                    info.tcpi_state != TCP_FIN_WAIT1) &&
           !deadline.hasExpired())
        QThread::msleep(5);
    close();
    return seen;
}

void KFakeConnection::close()
{
    ::shutdown(m_fd, SHUT_RDWR);
    m_closed = true;
}

KFakeRecorder::KFakeRecorder(Handler handler, const QString &host)
    : m_handler(std::move(handler)), m_host(host.isEmpty() ? KTestEmulator::freeHost() : host)
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    ::inet_pton(AF_INET, m_host.toLatin1().constData(), &addr.sin_addr);
    const int one = 1;
    ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    socklen_t len = sizeof(addr);
    if (::bind(m_fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0 ||
        ::listen(m_fd, 64) != 0 ||
        ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    m_port = ntohs(addr.sin_port);
    m_acceptThread = std::thread([this] { acceptLoop(); });
}

KFakeRecorder::~KFakeRecorder()
{
    m_stop.store(true);
    if (m_acceptThread.joinable())
        m_acceptThread.join();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (int fd : m_fds)
            ::shutdown(fd, SHUT_RDWR);
    }
    for (std::thread &t : m_threads)
        t.join();
    if (m_fd >= 0)
        ::close(m_fd);
}

void KFakeRecorder::acceptLoop()
{
    while (!m_stop.load()) {
        pollfd p = {m_fd, POLLIN, 0};
        const int fd = ::poll(&p, 1, 50) > 0 ? ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC) : -1;
        if (fd < 0)
            continue;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_fds.push_back(fd);
        m_threads.emplace_back([this, fd] {
            KFakeConnection connection(fd);
            m_handler(connection);
            std::lock_guard<std::mutex> guard(m_mutex);
            m_fds.remove(fd);
        });
    }
}

QByteArray KFakeRecorder::streamOpened()
{
    KMsgStreamOpened opened;
    opened.width = 64;
    opened.height = 36;
    opened.fps = 25;
    return opened.encode();
}

KFakeRecorder::Handler KFakeRecorder::sound(Answer answer)
{
    return [answer](KFakeConnection &c) {
        KFrame f;
        if (!c.sendHello())
            return;
        while (c.readFrame(f, 20000)) {
            const Reply reply = answer(c, f);
            if (reply == HangUp)
                return;
            if (reply == Answered)
                continue;
            if (f.type == Login) {
                KMsgLoginOk ok;
                ok.token = 77;
                ok.info.analogChannelCount = 4;
                c.sendFrame(LoginOk, f.seq, ok.encode());
            } else if (f.type == StreamOpen) {
                c.sendFrame(StreamOpened, f.seq, streamOpened());
            } else if (f.type == FindStart) {
                c.sendFrame(FindStarted, f.seq, KMsgSearchId().encode());
            } else if (f.type == FindNext) {
                KMsgFindBatch batch;
                batch.files.resize(1);
                c.sendFrame(FindBatch, f.seq, batch.encode());
            } else if (f.type == GetConfig) {
                KMsgConfig time;
                time.command = CmdTime;
                c.sendFrame(Config, f.seq, time.encode());
            } else {
                c.sendFrame(Ok, f.seq);
            }
        }
    };
}

KFakeRecorder::Handler KFakeRecorder::on(quint8 type, Answer answer)
{
    return sound([type, answer](KFakeConnection &c, const KFrame &f) {
        return f.type == type ? answer(c, f) : Sound;
    });
}
