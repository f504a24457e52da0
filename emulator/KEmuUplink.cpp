#include "KEmuUplink.h"

double KEmuUplink::nowMs()
{
    if (!m_clock.isValid())
        m_clock.start();
    return double(m_clock.nsecsElapsed()) / 1e6;
}

void KEmuUplink::setKbps(int kbps)
{
    m_kbps = qMax(0, kbps);
    for (Stream &s : m_streams)
        s.busyUntilMs = 0;
}

bool KEmuUplink::admit(const void *stream, qint64 bytes, qint64 *delayMs)
{
    *delayMs = 0;
    if (m_kbps <= 0)
        return true;
    const double now = nowMs();
    Stream &s = m_streams[stream];
    // The link is shared by the streams that have bytes on it now, this one included.
    int busy = 1;
    for (auto it = m_streams.cbegin(); it != m_streams.cend(); ++it)
        busy += it.key() != stream && it->busyUntilMs > now;
    const double share = double(m_kbps) / busy; // kbit/s = bits per ms
    const double start = qMax(now, s.busyUntilMs);
    // A picture waits behind its stream's others at most the backlog; a large one (a key
    // frame) may take longer to go through itself, or a slow link would never carry one.
    if (start - now > MaxBacklogMs)
        return false;
    s.busyUntilMs = start + double(bytes) * 8.0 / share;
    *delayMs = qint64(s.busyUntilMs - now + 0.5);
    return true;
}

void KEmuUplink::forget(const void *stream)
{
    m_streams.remove(stream);
}
