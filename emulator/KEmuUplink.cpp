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
    const double end = start + double(bytes) * 8.0 / double(m_kbps); // kbit/s = bits per ms
    // A picture larger than the backlog still goes over an idle link, or a slow link would
    // never carry a key frame.
    if (end - now > MaxBacklogMs && start > now)
        return false;
    m_busyUntilMs = end;
    *delayMs = qint64(end - now + 0.5);
    return true;
}
