#include "KSdkVideoSink.h"

#include "KSdkFrameStore.h"
#include "KSdkJpegDecoder.h"
#include "KSdkRepaintPacer.h"
#include "KSdkVideoSurface.h"

#include <QApplication>

KSdkVideoSink::KSdkVideoSink(VSDK_WINDOW window)
    : m_window(window), m_store(std::make_shared<KSdkFrameStore>())
{}

KSdkVideoSink::~KSdkVideoSink()
{
    stop();
}

void KSdkVideoSink::start()
{
    m_onScreen = m_window != 0 && qobject_cast<QApplication *>(QCoreApplication::instance());
    if (m_onScreen)
        createSurface();
    m_thread = std::thread([this] { decodeLoop(); });
}

void KSdkVideoSink::createSurface()
{
    // The window belongs to the GUI thread: the surface is made there, later.
    const WId wid = WId(quint32(m_window));
    std::shared_ptr<KSdkFrameStore> store = m_store;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [store, wid] {
            if (store->closed.load())
                return;
            QWidget *window = QWidget::find(wid);
            if (window)
                store->surface = new KSdkVideoSurface(store, window);
        },
        Qt::QueuedConnection);
}

void KSdkVideoSink::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    if (m_onScreen && !m_store->closed.exchange(true)) {
        std::shared_ptr<KSdkFrameStore> store = m_store;
        if (QCoreApplication *app = QCoreApplication::instance())
            QMetaObject::invokeMethod(
                app, [store] { delete store->surface.data(); }, Qt::QueuedConnection);
    }
    m_store->closed.store(true);
}

void KSdkVideoSink::push(const KRecTime &time, const QByteArray &jpeg)
{
    ++m_store->received;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_hasPending)
            ++m_dropped;
        m_hasPending = true;
        m_pendingTime = time;
        m_pendingJpeg = jpeg;
    }
    m_wake.notify_one();
}

void KSdkVideoSink::requestRepaint()
{
    if (!m_onScreen || m_store->updatePending.exchange(true))
        return;
    std::shared_ptr<KSdkFrameStore> store = m_store;
    if (QCoreApplication *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            app,
            [store] { KSdkRepaintPacer::request(store); },
            Qt::QueuedConnection);
}

void KSdkVideoSink::decodeLoop()
{
    for (;;) {
        KRecTime time;
        QByteArray jpeg;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || m_hasPending; });
            if (m_stop)
                return;
            time = m_pendingTime;
            jpeg = m_pendingJpeg;
            m_hasPending = false;
            m_pendingJpeg.clear();
        }
        // On screen the decoder already scales to the window, so the GUI thread only copies
        // pixels.
        const QSize target = m_onScreen ? m_store->targetSize() : QSize();
        const QImage image = KSdkJpegDecoder::decode(jpeg, target, MaxDimension, MaxPixels);
        if (image.isNull()) {
            ++m_dropped;
            continue;
        }
        m_store->setPicture(time, jpeg, image);
        ++m_decoded;
        requestRepaint();
    }
}
