#include "KSdkVideoSurface.h"

#include "KSdkFrameStore.h"

#include <QEvent>
#include <QPainter>

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
    raise();
    show();
}

quint64 KSdkVideoSurface::receivedPictures() const
{
    return m_store->received.load();
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
    KRecTime time;
    const QImage image = m_store->image(&serial, &time);
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
