#include "KSdkVideoSink.h"

#include "KRecorderMessages.h"
#include "KSdkRepaintPacer.h"
#include "KSdkVideoSurface.h"

#include <QApplication>

#include <cstring>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

namespace {

bool samePixels(const AVFrame *a, const AVFrame *b)
{
    if (!a || !b || a->width != b->width || a->height != b->height || a->format != b->format ||
        a->format != AV_PIX_FMT_YUV420P)
        return false;
    for (int plane = 0; plane < 3; ++plane) {
        const int width = plane ? (a->width + 1) / 2 : a->width;
        const int height = plane ? (a->height + 1) / 2 : a->height;
        for (int y = 0; y < height; ++y) {
            if (std::memcmp(a->data[plane] + y * a->linesize[plane],
                            b->data[plane] + y * b->linesize[plane], size_t(width)) != 0)
                return false;
        }
    }
    return true;
}

} // namespace

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
    if (m_onScreen && !m_store->closed.exchange(true)) {
        std::shared_ptr<KSdkFrameStore> store = m_store;
        // Its last picture stays until the window's next stream paints (no black gap when
        // a view changes stream or moment), or a little while.
        if (QCoreApplication *app = QCoreApplication::instance())
            QMetaObject::invokeMethod(
                app,
                [store] {
                    if (auto *surface = qobject_cast<KSdkVideoSurface *>(store->surface.data()))
                        surface->retire();
                },
                Qt::QueuedConnection);
    }
    m_store->closed.store(true);
}

void KSdkVideoSink::setQuiet(bool quiet)
{
    m_store->quiet.store(quiet);
    if (!quiet)
        m_paceReset = true;
}

void KSdkVideoSink::requestRepaint()
{
    if (!m_onScreen || m_store->updatePending.exchange(true))
        return;
    std::shared_ptr<KSdkFrameStore> store = m_store;
    if (QCoreApplication *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            app, [store] { KSdkRepaintPacer::request(store); }, Qt::QueuedConnection);
}

bool KSdkVideoSink::account(const KMsgVideoFrame &frame, int frameBytes, qint64 now)
{
    bool gap = false;
    ++m_stats.receivedPictures;
    m_stats.receivedBytes += quint64(frameBytes);
    m_lastArrivalMs = now;

    // Numbers run on by one per picture made; a gap is what the link left out.
    const quint32 number = frame.frameNumber;
    if (m_haveNumber && number > m_lastNumber && number - m_lastNumber < 0x10000) {
        if (number - m_lastNumber > 1) {
            m_stats.droppedPictures += number - m_lastNumber - 1;
            trouble(now);
            gap = true;
        }
    } else if (m_haveNumber) {
        m_paceReset = true; // a new numbering: nothing to compare with
    }
    m_haveNumber = true;
    m_lastNumber = number;
    if (frame.keyFrame) {
        if (m_stats.keyFrames > 0 && number > m_lastKeyNumber)
            m_stats.keyFrameInterval = int(qMin<quint32>(number - m_lastKeyNumber, 1u << 30));
        ++m_stats.keyFrames;
        m_lastKeyNumber = number;
    }

    // Lateness against the stream's own pace.
    const qint64 pace = now - qint64(number) * 1000 / m_fps;
    const qint64 second = now / 1000;
    if (m_paceReset.exchange(false)) {
        for (int i = 0; i < PaceSeconds; ++i)
            m_paceSecond[i] = -1;
    }
    qint64 least = pace;
    for (int i = 0; i < PaceSeconds; ++i) {
        if (m_paceSecond[i] >= 0 && second - m_paceSecond[i] < PaceSeconds)
            least = qMin(least, m_paceMin[i]);
    }
    const int slot = int(second % PaceSeconds);
    if (m_paceSecond[slot] != second) {
        m_paceSecond[slot] = second;
        m_paceMin[slot] = pace;
    } else {
        m_paceMin[slot] = qMin(m_paceMin[slot], pace);
    }
    if (pace - least > LateMs) {
        ++m_stats.latePictures;
        trouble(now);
    }

    // Bit rate over the last two seconds, in quarter-second slots.
    const qint64 quarter = now / 250;
    const int r = int(quarter % RateSlots);
    if (m_rateSlot[r] != quarter) {
        m_rateSlot[r] = quarter;
        m_rateBytes[r] = 0;
    }
    m_rateBytes[r] += frameBytes;
    qint64 bytes = 0;
    for (int i = 0; i < RateSlots; ++i) {
        if (quarter - m_rateSlot[i] < RateSlots)
            bytes += m_rateBytes[i];
    }
    m_stats.bitRate = bytes * 8 * 4 / RateSlots;
    return gap;
}

void KSdkVideoSink::push(const KMsgVideoFrame &frame, int frameBytes)
{
    const qint64 now = KSdkFrameStore::nowMs();
    // A picture left out on the way breaks the chain of references until the next key frame.
    if (account(frame, frameBytes, now))
        m_needKey = true;
    KSdkPicture picture;
    if (frame.keyFrame && m_needKey) {
        m_decoder.reset();
        m_needKey = false;
    }
    if (!m_needKey) {
        picture = m_decoder.decode(frame.accessUnit);
        if (!picture) {
            ++m_stats.decoderErrors;
            m_needKey = true;
            trouble(now);
        }
    }
    if (!picture) {
        ++m_stats.droppedPictures;
    } else {
        ++m_stats.decodedPictures;
        m_stats.pictureSize = QSize(picture->width, picture->height);
        // On screen the picture is brought to the window's size here, so the GUI thread
        // only copies pixels; a picture the stream repeats is neither scaled nor painted again.
        const QSize target = m_onScreen ? m_store->targetSize() : QSize();
        const bool same = !target.isEmpty() && target == m_scaled.size() &&
                          samePixels(picture.get(), m_previous.get());
        if (!same)
            m_scaled = m_onScreen ? m_decoder.scaled(picture.get(), target) : QImage();
        m_previous = picture;
        m_store->setPicture(frame.time, frame.msec, picture, m_scaled, same);
        requestRepaint();
    }
    m_store->setStats(m_stats, m_lastArrivalMs, m_lastTroubleMs);
}
