#include "KPollPacer.h"

#include <QThread>

#include <algorithm>

qint64 KPollPacer::nextSleepUs() const
{
    if (m_busyCount <= 1)
        return 0;
    // A tenth of the busy time so far: nanoseconds / 1000 / 10.
    return std::min<qint64>(m_busySince.nsecsElapsed() / 10000, maximumSleepUs);
}

void KPollPacer::wait()
{
    if (m_busyCount == 0)
        m_busySince.start();
    ++m_busyCount;
    const qint64 sleepUs = nextSleepUs();
    if (sleepUs < 50)
        QThread::yieldCurrentThread();
    else
        QThread::usleep(static_cast<unsigned long>(sleepUs));
}

void KPollPacer::reset()
{
    m_busyCount = 0;
}
