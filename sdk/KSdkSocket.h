#pragma once

#include "KFrame.h"

#include <QByteArray>
#include <atomic>
#include <bitset>
#include <initializer_list>
#include <mutex>

// The frame types a read accepts.
class KFrameTypes
{
public:
    KFrameTypes(std::initializer_list<quint8> types)
    {
        for (quint8 t : types)
            m_types.set(t);
    }
    bool contains(quint8 type) const { return m_types.test(type); }

private:
    std::bitset<256> m_types;
};

// A blocking TCP connection with time-outs (POSIX sockets and poll). Reading and writing may
// happen on different threads; shutdown() and close() may be called from any thread.
// Every method returns 0 or an SDK error code. A cancel flag (optional) aborts a wait within
// ~200 ms.
class KSdkSocket
{
public:
    KSdkSocket() = default;
    ~KSdkSocket();
    KSdkSocket(const KSdkSocket &) = delete;
    KSdkSocket &operator=(const KSdkSocket &) = delete;

    // Monotonic milliseconds: the clock of every deadline below.
    static qint64 now();

    // Connects (each attempt bounded by connectTimeoutMs) and reads the server's greeting
    // nonce, which must be complete receiveTimeoutMs after connecting.
    int open(const QByteArray &host, quint16 port, int connectTimeoutMs, int tries,
             int receiveTimeoutMs, QByteArray *nonce, const std::atomic<bool> *cancel = nullptr);
    // Sends one frame with the next sequence number, which is returned in *seq.
    int sendFrame(quint8 type, const QByteArray &payload, int timeoutMs, quint32 *seq = nullptr);
    // Reads one whole frame, complete by deadline whatever length it announces. A type
    // outside accept is refused from its header alone (error 11).
    int readFrame(KFrame &frame, const KFrameTypes &accept, qint64 deadline,
                  const std::atomic<bool> *cancel = nullptr);
    // The same for a stream: fails after silenceMs without a byte; a frame once begun must
    // also arrive at no less than 32 KiB/s.
    int readStreamFrame(KFrame &frame, const KFrameTypes &accept, int silenceMs,
                        const std::atomic<bool> *cancel);
    // True when the peer has closed its side or the connection failed (checked without waiting).
    bool isClosedByPeer() const;
    // Wakes a blocked reader; the descriptor stays until close().
    void shutdown();
    // Wakes a blocked reader and closes the descriptor once no read or send uses it.
    void close();

private:
    int connectOnce(const QByteArray &host, quint16 port, int timeoutMs,
                    const std::atomic<bool> *cancel);
    int read(KFrame &frame, const KFrameTypes &accept, qint64 deadline, int silenceMs,
             const std::atomic<bool> *cancel);
    int readExact(char *buffer, int count, qint64 deadline, int silenceMs,
                  const std::atomic<bool> *cancel);

    std::atomic<int> m_fd{-1};
    // Held while the descriptor is in use, so that close() cannot release it under a reader or
    // a writer (a reused descriptor would get their bytes).
    std::mutex m_readMutex;
    std::mutex m_sendMutex; // one writer at a time; guards m_seq
    std::mutex m_fdMutex;   // held by shutdown() and by close() while it releases m_fd
    quint32 m_seq = 0;
};
