#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QtGlobal>

// The recorder's mobile uplink, shared by all its streams as one modem carries them: the
// streams with bytes waiting share the link's rate evenly (as their connections would over
// one modem), a stream's own bytes leave in order. A picture that would wait behind its
// stream's earlier ones longer than the backlog allows is not sent at all (its stream then
// waits for its next key frame), so what does get through is never far behind the recorder's
// clock. Main thread only.
class KEmuUplink
{
public:
    static constexpr int MaxBacklogMs = 400;

    // kbit/s (1000 bits); 0: no limit.
    void setKbps(int kbps);
    int kbps() const { return m_kbps; }
    // True when the link carries bytes of stream now; *delayMs is when their last bit is
    // through, as the link is shared at this moment.
    bool admit(const void *stream, qint64 bytes, qint64 *delayMs);
    void forget(const void *stream);

private:
    // Takes what the link has carried since the last look off the streams' waiting bits.
    void advance();
    // Milliseconds until stream's waiting bits are through, sharing the link with the others.
    double finishMs(const void *stream) const;

    int m_kbps = 0;
    QElapsedTimer m_clock;
    double m_lastMs = 0;
    QHash<const void *, double> m_waitingBits; // per stream
};
