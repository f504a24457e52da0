#include "KVideoMarkerAreaWidget.h"

#include "KSettings.h"
#include "KVideoMarkerTableWidget.h"

#include <QPainter>

namespace {

QColor themeColour(int index, const char *fallback)
{
    const QColor colour(KSettings::instance()->themeColor(index));
    return colour.isValid() ? colour : QColor(QLatin1String(fallback));
}

} // namespace

KVideoMarkerAreaWidget::KVideoMarkerAreaWidget(KVideoMarkerTableWidget *markerTable,
                                               QWidget *parent)
    : QWidget(parent), m_markerTable(markerTable)
{
    setFixedHeight(70);
    connect(markerTable, &KVideoMarkerTableWidget::markersChanged, this,
            &KVideoMarkerAreaWidget::updateList);
}

void KVideoMarkerAreaWidget::setInterval(const QDateTime &beginDateTime,
                                         const QDateTime &endDateTime)
{
    m_beginDateTime = beginDateTime;
    m_endDateTime = endDateTime;
    updateList();
}

void KVideoMarkerAreaWidget::updateList()
{
    m_markers = m_markerTable ? m_markerTable->markers() : QList<KVideoMarkerData>();
    update();
}

int KVideoMarkerAreaWidget::markerX(const QTime &time) const
{
    if (!m_beginDateTime.isValid() || !time.isValid())
        return -1;
    const int begin = m_beginDateTime.time().msecsSinceStartOfDay();
    const int length = m_beginDateTime.time().msecsTo(m_endDateTime.time());
    const int offset = time.msecsSinceStartOfDay() - begin;
    if (length <= 0 || offset < 0 || offset > length)
        return -1;
    return 5 + int(qint64(width() - 10) * offset / length);
}

void KVideoMarkerAreaWidget::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    QPainter painter(this);
    painter.fillRect(rect(), themeColour(2, "#2b2b2b"));
    const QColor line = themeColour(11, "#e0a030");
    painter.setFont(QFont(QStringLiteral("Arial"), 10));
    const QFontMetrics metrics(painter.font());
    for (const KVideoMarkerData &marker : qAsConst(m_markers)) {
        const int x = markerX(marker.time);
        if (x < 0)
            continue;
        painter.fillRect(x - 1, 0, 2, height(), line);
        const QString tag = metrics.elidedText(marker.text, Qt::ElideRight, 120);
        const QRect tagRect(x + 1, 0, metrics.horizontalAdvance(tag) + 6, 12);
        painter.fillRect(tagRect, line);
        painter.setPen(themeColour(1, "#000000"));
        painter.drawText(tagRect, Qt::AlignCenter, tag);
    }
}
