#pragma once

#include <QElapsedTimer>
#include <QtGlobal>

// The recorder's mobile uplink, shared by all its streams as one modem carries them: bytes
// leave one after another at the link's rate. A picture that would wait behind the others
// longer than the backlog allows is not sent at all (its stream then waits for its next key
// frame), so what does get through is never far behind the recorder's clock. Main thread only.
class KEmuUplink
{
public:
    static constexpr int MaxBacklogMs = 400;

    // kbit/s (1000 bits); 0: no limit.
    void setKbps(int kbps);
    int kbps() const { return m_kbps; }
    // True when the link carries bytes now; *delayMs is when their last bit is through.
    bool admit(qint64 bytes, qint64 *delayMs);

private:
    int m_kbps = 0;
    QElapsedTimer m_clock;
    double m_busyUntilMs = 0; // on m_clock
};
