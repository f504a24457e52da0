#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QtGlobal>

// The recorder's mobile uplink, shared by all its streams as one modem carries them: the
// streams with bytes on the link share its rate evenly (as their connections would over one
// modem), and each stream's bytes leave one after another. A picture that would wait behind
// its stream's earlier ones longer than the backlog allows is not sent at all (its stream then
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
    // through.
    bool admit(const void *stream, qint64 bytes, qint64 *delayMs);
    void forget(const void *stream);

private:
    struct Stream
    {
        double busyUntilMs = 0;
    };
    double nowMs();

    int m_kbps = 0;
    QElapsedTimer m_clock;
    QHash<const void *, Stream> m_streams;
};
