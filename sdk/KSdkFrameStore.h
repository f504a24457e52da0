#pragma once

#include "KRecTime.h"

#include <QByteArray>
#include <QImage>
#include <QPointer>
#include <QSize>
#include <QWidget>
#include <atomic>
#include <mutex>

// The picture a stream shows now, shared by the decoding thread and the on-screen surface
// (which may outlive the stream by a moment, hence shared ownership).
class KSdkFrameStore
{
public:
    void setPicture(const KRecTime &time, const QByteArray &jpeg, const QImage &image);
    // False until the first picture was decoded.
    bool picture(KRecTime *time, QByteArray *jpeg, QImage *image) const;
    // The picture to paint with its number (counting from 1) and time.
    QImage image(quint64 *serial = nullptr, KRecTime *time = nullptr) const;
    QSize targetSize() const;
    void setTargetSize(const QSize &size);

    std::atomic<quint64> received{0};       // pictures that reached the stream
    std::atomic<bool> updatePending{false}; // a repaint is already queued
    std::atomic<bool> closed{false};        // the stream stopped; no surface may be created
    QPointer<QWidget> surface;              // touched on the GUI thread only

private:
    mutable std::mutex m_mutex; // guards every field below
    bool m_valid = false;
    quint64 m_serial = 0;
    KRecTime m_time;
    QByteArray m_jpeg;
    QImage m_image;
    QSize m_targetSize;
};
