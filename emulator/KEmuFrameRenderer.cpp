#include "KEmuFrameRenderer.h"

#include <QLinearGradient>
#include <QPainter>
#include <QtMath>

const QImage &KEmuFrameRenderer::background(const KEmuFrameRequest &request)
{
    const QString key = QStringLiteral("%1x%2|%3|%4|%5")
                            .arg(request.size.width())
                            .arg(request.size.height())
                            .arg(request.channel)
                            .arg(request.title, request.recorder);
    auto it = m_backgrounds.find(key);
    if (it != m_backgrounds.end())
        return *it;
    // Bounded: a fleet has more channel backgrounds than memory should hold.
    while (!m_order.isEmpty() && m_cacheBytes > maxCacheBytes) {
        m_cacheBytes -= m_backgrounds.take(m_order.takeFirst()).sizeInBytes();
    }

    const int w = request.size.width();
    const int h = request.size.height();
    QImage image(request.size, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // A road scene: sky, horizon, road with lane marks; tinted per channel.
    const int hue = (request.channel * 47) % 360;
    QLinearGradient sky(0, 0, 0, h / 2);
    sky.setColorAt(0, QColor::fromHsv(hue, 90, 120));
    sky.setColorAt(1, QColor::fromHsv(hue, 40, 200));
    p.fillRect(0, 0, w, h / 2, sky);
    p.fillRect(0, h / 2, w, h - h / 2, QColor(70, 75, 70));
    QPolygon road;
    road << QPoint(w * 2 / 5, h / 2) << QPoint(w * 3 / 5, h / 2) << QPoint(w, h) << QPoint(0, h);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(45, 45, 50));
    p.drawPolygon(road);
    p.setPen(QPen(QColor(90, 90, 90), 1));
    for (int x = 0; x < w; x += qMax(16, w / 16))
        p.drawLine(x, h / 2, x, h / 2 + 4);

    // Channel title, bottom left, as the recorder's on-screen display puts it.
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(qMax(10, h / 20));
    font.setBold(true);
    p.setFont(font);
    const QRect titleRect(8, h - font.pixelSize() * 2 - 8, w - 16, font.pixelSize() + 6);
    p.setPen(Qt::black);
    p.drawText(titleRect.translated(1, 1), Qt::AlignLeft | Qt::AlignVCenter, request.title);
    p.setPen(Qt::white);
    p.drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter, request.title);
    QFont small = font;
    small.setBold(false);
    small.setPixelSize(qMax(9, h / 28));
    p.setFont(small);
    p.setPen(QColor(230, 230, 230));
    p.drawText(QRect(8, h - small.pixelSize() - 6, w - 16, small.pixelSize() + 4),
               Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("%1  CH%2")
                   .arg(request.recorder)
                   .arg(request.channel, 2, 10, QLatin1Char('0')));
    p.end();
    m_order << key;
    m_cacheBytes += image.sizeInBytes();
    return *m_backgrounds.insert(key, image);
}

KEmuFrame KEmuFrameRenderer::render(const KEmuFrameRequest &request)
{
    KEmuFrame frame;
    frame.background = background(request);
    QImage image = frame.background.copy();
    const int w = image.width();
    const int h = image.height();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // Antialiased edges reach a pixel or two past a shape.
    const auto changed = [&frame](const QRect &r) { frame.changed << r.adjusted(-2, -2, 2, 2); };

    // Moving parts in steps of 80 ms.
    const qint64 motion = request.msecs - request.msecs % MotionStepMs;
    const QString clock = request.moment.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
    frame.look = QByteArray::number(request.signalLost ? -1 : motion) + ' ' + clock.toUtf8() + ' ' +
                 request.mode.toUtf8();
    if (request.signalLost) {
        p.fillRect(image.rect(), QColor(20, 20, 90));
        changed(image.rect());
    } else {
        // A bus crossing the picture every 8 s, and lane marks sliding towards the viewer.
        const double phase = double(motion % 8000) / 8000.0;
        const int busW = w / 5;
        const int busH = h / 8;
        const int x = int(phase * (w + busW)) - busW;
        const int y = h / 2 - busH / 2;
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(230, 180, 30));
        p.drawRoundedRect(QRect(x, y, busW, busH), 4, 4);
        changed(QRect(x, y, busW, busH));
        p.setBrush(QColor(60, 120, 170));
        for (int i = 0; i < 4; ++i)
            p.drawRect(x + busW / 10 + i * busW / 5, y + busH / 6, busW / 7, busH / 3);
        p.setBrush(Qt::white);
        const double lane = double(motion % 1000) / 1000.0;
        for (int i = 0; i < 4; ++i) {
            const double d = (i + lane) / 4.0;
            const int ly = h / 2 + int(d * d * h / 2);
            const int lh = qMax(2, int(d * h / 12));
            const int lw = qMax(2, int(d * w / 40));
            p.drawRect(w / 2 - lw / 2, ly, lw, lh);
            changed(QRect(w / 2 - lw / 2, ly, lw, lh));
        }
    }

    // On-screen clock, top left, and the stream mode, top right.
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(qMax(10, h / 18));
    font.setBold(true);
    p.setFont(font);
    const QRect clockRect(8, 6, w - 16, font.pixelSize() + 6);
    p.setPen(Qt::black);
    p.drawText(clockRect.translated(1, 1), Qt::AlignLeft | Qt::AlignVCenter, clock);
    p.setPen(Qt::white);
    p.drawText(clockRect, Qt::AlignLeft | Qt::AlignVCenter, clock);
    p.setPen(request.signalLost ? QColor(255, 90, 90) : QColor(120, 255, 120));
    p.drawText(clockRect, Qt::AlignRight | Qt::AlignVCenter,
               request.signalLost ? QStringLiteral("НЕТ СИГНАЛА") : request.mode);
    changed(clockRect.adjusted(0, 0, 1, 1));
    p.end();
    frame.picture = image;
    return frame;
}
