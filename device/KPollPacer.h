#pragma once

#include <QElapsedTimer>

// Paces a loop that asks the recorder again while it answers "busy". The first repeat follows
// at once, so a ready answer is never held back; later ones give the core away and then sleep,
// never longer than a tenth of the time the recorder has been busy so far and at most 5 ms.
// A long busy phase thus costs a few wake-ups per second instead of a spinning core, and the
// answer that ends it comes at most 10 % (or 5 ms) late.
class KPollPacer
{
public:
    static constexpr int maximumSleepUs = 5000;

    // Call after every busy answer, before asking again.
    void wait();
    // Call after any other answer: the next busy phase starts afresh.
    void reset();

    // Busy answers in the current phase.
    int busyCount() const { return m_busyCount; }
    // How long the next wait() would sleep, in microseconds (0: only yield).
    qint64 nextSleepUs() const;

private:
    QElapsedTimer m_busySince;
    int m_busyCount = 0;
};
