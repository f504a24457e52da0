#include "KSdkVideoSurface.h"

#include "KSdkFrameStore.h"

#include <QEvent>
#include <QPainter>
#include <QTimer>

KSdkVideoSurface::KSdkVideoSurface(std::shared_ptr<KSdkFrameStore> store, QWidget *window)
    : QWidget(window), m_store(std::move(store))
{
    setObjectName(QStringLiteral("sdkVideoSurface"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setGeometry(window->rect());
    m_store->setTargetSize(size());
    window->installEventFilter(this);
    for (KSdkVideoSurface *other :
         window->findChildren<KSdkVideoSurface *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (other != this && other->m_retired)
            m_covering << other;
    }
    show();
    if (m_covering.isEmpty())
        raise();
    else
        stackUnder(m_covering.first());
    if (m_store->picture(nullptr, nullptr))
        pictureReady();
}

quint64 KSdkVideoSurface::receivedPictures() const
{
    return m_store->stats().receivedPictures;
}

quint64 KSdkVideoSurface::decodedPictures() const
{
    return m_store->stats().decodedPictures;
}

QSize KSdkVideoSurface::pictureSize() const
{
    return m_store->stats().pictureSize;
}

quint64 KSdkVideoSurface::droppedPictures() const
{
    return m_store->stats().droppedPictures;
}

quint64 KSdkVideoSurface::decoderErrors() const
{
    return m_store->stats().decoderErrors;
}

qint64 KSdkVideoSurface::bitRate() const
{
    return m_store->stats().bitRate;
}

int KSdkVideoSurface::keyFrameInterval() const
{
    return m_store->stats().keyFrameInterval;
}

bool KSdkVideoSurface::weakLink() const
{
    return m_store->stats().weakLink;
}

void KSdkVideoSurface::retire()
{
    if (m_retired)
        return;
    m_retired = true;
    setObjectName(QStringLiteral("sdkRetiredSurface"));
    QTimer::singleShot(RetiredMs, this, &QObject::deleteLater);
}

void KSdkVideoSurface::pictureReady()
{
    // The new picture takes the place of the old stream's at once: no black in between.
    for (const QPointer<KSdkVideoSurface> &old : qAsConst(m_covering))
        delete old.data();
    m_covering.clear();
    quint64 serial = 0;
    quint64 imageSerial = 0;
    QDateTime time;
    m_store->image(&serial, &time, &imageSerial);
    if (imageSerial != 0 && imageSerial == m_paintedImageSerial && isVisible()) {
        // A repeat of the picture on the screen: it is shown already.
        if (serial != m_paintedSerial) {
            m_paintedSerial = serial;
            m_painted += 1;
            m_paintedTime = time;
        }
        return;
    }
    update();
}

bool KSdkVideoSurface::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

void KSdkVideoSurface::resizeEvent(QResizeEvent *event)
{
    m_store->setTargetSize(size());
    QWidget::resizeEvent(event);
}

void KSdkVideoSurface::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    quint64 serial = 0;
    quint64 imageSerial = 0;
    QDateTime time;
    const QImage image = m_store->image(&serial, &time, &imageSerial);
    m_paintedImageSerial = image.size() == size() ? imageSerial : 0;
    if (serial != m_paintedSerial) {
        m_paintedSerial = serial;
        m_painted += 1;
        m_paintedTime = time;
    }
    if (image.isNull()) {
        painter.fillRect(rect(), Qt::black);
    } else if (image.size() == size()) {
        painter.drawImage(0, 0, image);
    } else {
        painter.drawImage(rect(), image);
    }
}
