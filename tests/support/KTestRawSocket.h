#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// A plain TCP connection driven by hand, for tests and benchmarks that play a hostile peer:
// it sends without ever reading unless asked, so the far side's answers pile up. Every wait is
// bounded. The destructor closes it.
class KTestRawSocket
{
public:
    KTestRawSocket() = default;
    ~KTestRawSocket();
    KTestRawSocket(const KTestRawSocket &) = delete;
    KTestRawSocket &operator=(const KTestRawSocket &) = delete;

    // sendBuffer > 0 caps the kernel's send buffer of this end.
    bool connectTo(const QString &host, quint16 port, int timeoutMs = 2000, int sendBuffer = 0);
    void close();

    // Sends block after block until bytes went out, the peer closed, timeoutMs passed or, with
    // stallMs, nothing went out for that long. tick runs between sends. The bytes the kernel
    // took.
    qint64 push(const QByteArray &block, qint64 bytes, int timeoutMs, int stallMs = 0,
                const std::function<void()> &tick = {});
    // Whatever arrives within timeoutMs (up to maxBytes); empty once the peer closed.
    QByteArray read(int timeoutMs, int maxBytes = 1 << 20);
    // True while the peer keeps the connection; drops what it sent.
    bool isOpen();

private:
    int m_fd = -1;
};
