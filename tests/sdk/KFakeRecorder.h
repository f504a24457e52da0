#pragma once

#include "KFrameReader.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <functional>
#include <list>
#include <mutex>
#include <thread>

// One accepted connection of the fake recorder, used by a scripted handler on its own thread.
class KFakeConnection
{
public:
    explicit KFakeConnection(int fd) : m_fd(fd) {}
    ~KFakeConnection();

    bool sendRaw(const QByteArray &bytes);
    bool sendFrame(quint8 type, quint32 seq, const QByteArray &payload = QByteArray());
    bool sendHello();
    // Answers a download's start control and sends DownloadBegin and the first data.
    bool startDownload(quint32 controlSeq, quint64 totalBytes, const QByteArray &data);
    // One frame; false on close, malformed input or time-out.
    bool readFrame(KFrame &frame, int timeoutMs = 5000);
    // Waits until the client closes the connection.
    bool waitClosed(int timeoutMs);
    // Closes our side once the client's system has acknowledged it, as for a connection
    // dropped long ago.
    bool hangUpSeen(int timeoutMs);
    // Ends the connection; the descriptor itself is released with this object, so that the
    // recorder never shuts down a number the system has given to another socket.
    void close();

private:
    int m_fd;
    bool m_closed = false;
    KFrameReader m_reader;
};

// A TCP server on a free loopback address and port that runs a scripted handler for every
// connection, so tests can play a recorder that misbehaves in exact ways.
class KFakeRecorder
{
public:
    using Handler = std::function<void(KFakeConnection &connection)>;
    // What a scripted answer made of a request: left to the sound recorder, answered, or the
    // connection is to end.
    enum Reply { Sound, Answered, HangUp };
    using Answer = std::function<Reply(KFakeConnection &connection, const KFrame &request)>;

    // A sound recorder (hello, login, stream opening, a search of one file, the time, Ok to
    // the rest) that lets answer take any request first.
    static Handler sound(Answer answer);
    // The same where answer takes only requests of one type.
    static Handler on(quint8 type, Answer answer);
    // The StreamOpened payload of the sound recorder (64 x 36 pictures).
    static QByteArray streamOpened();

    explicit KFakeRecorder(Handler handler, const QString &host = QString());
    ~KFakeRecorder();

    bool isListening() const { return m_fd >= 0; }
    quint16 port() const { return m_port; }
    QByteArray host() const { return m_host.toUtf8(); }

private:
    void acceptLoop();

    Handler m_handler;
    QString m_host;
    int m_fd = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_acceptThread;
    std::mutex m_mutex; // guards m_threads and m_fds
    std::list<std::thread> m_threads;
    std::list<int> m_fds;
};
