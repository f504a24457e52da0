#pragma once

#include "KFrame.h"

#include <QByteArray>
#include <atomic>
#include <mutex>

// A blocking TCP connection with time-outs (POSIX sockets and poll). Reading and writing may
// happen on different threads; shutdown() may be called from any thread to wake a blocked
// reader. Every method returns 0 or an SDK error code.
class KSdkSocket
{
public:
    KSdkSocket() = default;
    ~KSdkSocket();
    KSdkSocket(const KSdkSocket &) = delete;
    KSdkSocket &operator=(const KSdkSocket &) = delete;

    // Connects (each attempt bounded by timeoutMs) and reads the server's greeting nonce.
    int open(const QByteArray &host, quint16 port, int connectTimeoutMs, int tries,
             int receiveTimeoutMs, QByteArray *nonce);
    // Sends one frame with the next sequence number, which is returned in *seq.
    int sendFrame(quint8 type, const QByteArray &payload, int timeoutMs, quint32 *seq = nullptr);
    // Reads one whole frame. timeoutMs bounds the wait for the header; the payload may take
    // longer in proportion to its size. cancel (optional) aborts the wait within ~200 ms.
    int readFrame(KFrame &frame, int timeoutMs, const std::atomic<bool> *cancel = nullptr);
    void shutdown();
    void close();
    bool isOpen() const { return m_fd.load() >= 0; }

private:
    int connectOnce(const QByteArray &host, quint16 port, int timeoutMs);
    int readExact(char *buffer, int count, qint64 deadline, const std::atomic<bool> *cancel);

    std::atomic<int> m_fd{-1};
    std::mutex m_sendMutex; // one writer at a time; guards m_seq
    quint32 m_seq = 0;
};
