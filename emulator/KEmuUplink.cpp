#include "KEmuUplink.h"

#include <algorithm>
#include <vector>

void KEmuUplink::setKbps(int kbps)
{
    advance();
    m_kbps = qMax(0, kbps);
    m_waitingBits.clear();
}

void KEmuUplink::advance()
{
    if (!m_clock.isValid())
        m_clock.start();
    const double now = double(m_clock.nsecsElapsed()) / 1e6;
    // Bits the link carried since, shared evenly by the streams that had some waiting.
    double budget = (now - m_lastMs) * m_kbps; // kbit/s = bits per ms
    m_lastMs = now;
    while (budget > 0) {
        int waiting = 0;
        double least = 0;
        for (double bits : qAsConst(m_waitingBits)) {
            if (bits <= 0)
                continue;
            least = waiting ? qMin(least, bits) : bits;
            ++waiting;
        }
        if (waiting == 0)
            break;
        const double each = qMin(least, budget / waiting);
        for (double &bits : m_waitingBits)
            bits = qMax(0.0, bits - each);
        budget -= each * waiting;
    }
}

double KEmuUplink::finishMs(const void *stream) const
{
    std::vector<double> others;
    for (auto it = m_waitingBits.cbegin(); it != m_waitingBits.cend(); ++it) {
        if (it.key() != stream && it.value() > 0)
            others.push_back(it.value());
    }
    std::sort(others.begin(), others.end());
    double mine = m_waitingBits.value(stream);
    double ms = 0;
    double drained = 0; // by every stream still waiting
    for (double bits : others) {
        const double step = qMin(bits, mine) - drained;
        const int sharing =
            int(others.end() - std::lower_bound(others.begin(), others.end(), bits)) + 1;
        ms += step * sharing / m_kbps;
        drained += step;
        if (mine <= bits)
            return ms;
    }
    return ms + (mine - drained) / m_kbps;
}

bool KEmuUplink::admit(const void *stream, qint64 bytes, qint64 *delayMs)
{
    *delayMs = 0;
    if (m_kbps <= 0)
        return true;
    advance();
    // A picture waits behind its stream's others at most the backlog; a large one (a key
    // frame) may take longer to go through itself, or a slow link would never carry one.
    if (finishMs(stream) > MaxBacklogMs)
        return false;
    m_waitingBits[stream] += double(bytes) * 8.0;
    *delayMs = qint64(finishMs(stream) + 0.5);
    return true;
}

void KEmuUplink::forget(const void *stream)
{
    m_waitingBits.remove(stream);
}
