#include "KEmuUplink.h"

void KEmuUplink::setKbps(int kbps)
{
    m_kbps = qMax(0, kbps);
    m_busyUntilMs = 0;
    m_clock.start();
}

bool KEmuUplink::admit(qint64 bytes, qint64 *delayMs)
{
    *delayMs = 0;
    if (m_kbps <= 0)
        return true;
    if (!m_clock.isValid())
        m_clock.start();
    const double now = double(m_clock.nsecsElapsed()) / 1e6;
    const double start = qMax(now, m_busyUntilMs);
    // A picture waits behind the others at most the backlog; a large one (a key frame) may
    // take longer to go through itself, or a slow link would never carry one.
    if (start - now > MaxBacklogMs)
        return false;
    const double end = start + double(bytes) * 8.0 / double(m_kbps); // kbit/s = bits per ms
    m_busyUntilMs = end;
    *delayMs = qint64(end - now + 0.5);
    return true;
}
