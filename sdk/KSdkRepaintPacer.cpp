#include "KSdkRepaintPacer.h"

#include "KSdkFrameStore.h"
#include "KSdkVideoSurface.h"

#include <QCoreApplication>
#include <QPointer>

KSdkRepaintPacer::KSdkRepaintPacer() : QObject(QCoreApplication::instance())
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(IntervalMs);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &KSdkRepaintPacer::flush);
}

void KSdkRepaintPacer::request(const std::shared_ptr<KSdkFrameStore> &store)
{
    // Owned by the application object, so it goes with it (and comes with a new one).
    static QPointer<KSdkRepaintPacer> pacer;
    if (!pacer)
        pacer = new KSdkRepaintPacer;
    pacer->m_pending.push_back(store);
    if (!pacer->m_timer.isActive())
        pacer->m_timer.start();
}

void KSdkRepaintPacer::flush()
{
    std::vector<std::shared_ptr<KSdkFrameStore>> pending;
    pending.swap(m_pending);
    for (const std::shared_ptr<KSdkFrameStore> &store : pending) {
        store->updatePending.store(false);
        if (auto *surface = qobject_cast<KSdkVideoSurface *>(store->surface.data()))
            surface->pictureReady();
    }
}
