#include "KSdkFrameStore.h"

void KSdkFrameStore::setPicture(const KRecTime &time, const QByteArray &jpeg, const QImage &image)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_valid = true;
    ++m_serial;
    m_time = time;
    m_jpeg = jpeg;
    m_image = image;
}

bool KSdkFrameStore::picture(KRecTime *time, QByteArray *jpeg, QImage *image) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_valid)
        return false;
    if (time)
        *time = m_time;
    if (jpeg)
        *jpeg = m_jpeg;
    if (image)
        *image = m_image;
    return true;
}

QImage KSdkFrameStore::image(quint64 *serial, KRecTime *time) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (serial)
        *serial = m_serial;
    if (time)
        *time = m_time;
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
