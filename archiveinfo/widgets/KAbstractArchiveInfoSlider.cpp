#include "KAbstractArchiveInfoSlider.h"

#include "KSettings.h"

#include <QAbstractSlider>
#include <QPainter>
#include <QStyleOption>
#include <QVBoxLayout>

namespace {

QColor themeColour(int index, const char *fallback)
{
    const QColor colour(KSettings::instance()->themeColor(index));
    return colour.isValid() ? colour : QColor(QLatin1String(fallback));
}

} // namespace

KAbstractArchiveInfoSlider::KAbstractArchiveInfoSlider(QAbstractSlider *slider, QWidget *parent)
    : QWidget(parent), m_slider(slider)
{
    setFixedSize(stripWidth, stripHeight);
    // A handle 10 pixels long leaves 2880 pixels for 1440 steps: the handle's centre then
    // stands on the left edge of its minute's cell, and a click lands on the cell clicked.
    // (The style takes a handle's size only with a styled groove.)
    m_slider->setStyleSheet(
        QStringLiteral("QSlider::groove:horizontal { height: 3px; background: %1; }"
                       "QSlider::handle:horizontal { width: 8px; border: 1px solid %1; "
                       "margin: -6px 0px; }")
            .arg(themeColour(5, "#aaaaaa").name()));
    m_slider->setRange(0, cellCount);
    m_slider->setPageStep(10);
    if (auto *ticked = qobject_cast<QSlider *>(m_slider))
        ticked->setTickInterval(60);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addSpacing(10);
    layout->addWidget(m_slider);
    layout->addSpacing(30);
}

KAbstractArchiveInfoSlider::~KAbstractArchiveInfoSlider() = default;

QRect KAbstractArchiveInfoSlider::cellRect(int minute)
{
    return QRect(2 * minute + margin, 35, 2, 10);
}

void KAbstractArchiveInfoSlider::setCellData(const QList<bool> &data)
{
    if (data == m_cellData)
        return;
    m_cellData = data;
    update();
}

void KAbstractArchiveInfoSlider::clearCellData()
{
    setCellData(QList<bool>());
}

void KAbstractArchiveInfoSlider::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    // The widget's own (style sheet) background first.
    QStyleOption option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);

    const int s = width() / 24;
    const QColor tick = themeColour(5, "#aaaaaa");
    for (int i = 0; i <= 24; ++i)
        painter.fillRect(i * s + margin, 0, 1, 36, tick);
    for (int i = 0; i < 24; ++i)
        painter.fillRect(i * s + margin + s / 2, 10, 1, 26, tick);

    const bool known = m_cellData.size() == cellCount;
    const QColor recorded = themeColour(19, "#00aa00");
    for (int m = 0; m < cellCount; ++m) {
        const QColor colour = !known             ? QColor(Qt::lightGray)
                              : m_cellData.at(m) ? recorded
                                                 : QColor(Qt::gray);
        painter.fillRect(cellRect(m), colour);
    }

    painter.setFont(QFont(QStringLiteral("Arial"), 10));
    painter.setPen(themeColour(10, "#333333"));
    for (int h = 1; h < 24; ++h) {
        painter.drawText(QPoint(h * s - 16 + margin, 12),
                         QStringLiteral("%1 00").arg(h, 2, 10, QLatin1Char('0')));
    }
}
