#include "KSdkFrameStore.h"

#include <chrono>

namespace {

// The weak-link mark stays this long after the last trouble.
constexpr qint64 TroubleShownMs = 2000;

} // namespace

qint64 KSdkFrameStore::nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void KSdkFrameStore::setPicture(const KRecTime &time, int msec, const KSdkPicture &picture,
                                const QImage &image, bool sameImage)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_valid = true;
    ++m_serial;
    if (!sameImage || m_imageSerial == 0)
        m_imageSerial = m_serial;
    m_time = time;
    m_msec = msec;
    m_picture = picture;
    m_image = image;
}

bool KSdkFrameStore::picture(KRecTime *time, KSdkPicture *picture) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_valid)
        return false;
    if (time)
        *time = m_time;
    if (picture)
        *picture = m_picture;
    return true;
}

QImage KSdkFrameStore::image(quint64 *serial, QDateTime *time, quint64 *imageSerial) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (serial)
        *serial = m_serial;
    if (imageSerial)
        *imageSerial = m_imageSerial;
    if (time)
        *time = m_valid ? m_time.toDateTime().addMSecs(m_msec) : QDateTime();
    return m_image;
}

QSize KSdkFrameStore::targetSize() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_targetSize;
}

void KSdkFrameStore::setTargetSize(const QSize &size)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_targetSize = size;
}

void KSdkFrameStore::setFrameRate(int fps)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_silenceMs = qMax<qint64>(1000, 3000 / qMax(1, fps));
}

void KSdkFrameStore::setStats(const KSdkStreamStats &stats, qint64 lastArrivalMs,
                              qint64 lastTroubleMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stats = stats;
    m_lastArrivalMs = lastArrivalMs;
    m_lastTroubleMs = lastTroubleMs;
}

KSdkStreamStats KSdkFrameStore::stats() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    KSdkStreamStats s = m_stats;
    const qint64 now = nowMs();
    const bool silent = m_lastArrivalMs >= 0 && now - m_lastArrivalMs > m_silenceMs;
    const bool trouble = m_lastTroubleMs >= 0 && now - m_lastTroubleMs < TroubleShownMs;
    s.weakLink = !quiet.load() && (silent || trouble);
    if (silent)
        s.bitRate = 0;
    return s;
}
