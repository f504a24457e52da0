#include "KCheckBoxHeaderView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>

KCheckBoxHeaderView::KCheckBoxHeaderView(Qt::Orientation orientation, QWidget *parent)
    : QHeaderView(orientation, parent)
{
    connect(this, &QHeaderView::sectionCountChanged, this,
            &KCheckBoxHeaderView::setCheckboxesCount);
    setSectionsClickable(true);
}

KCheckBoxHeaderView::~KCheckBoxHeaderView() = default;

bool KCheckBoxHeaderView::isCheckboxShown(int section) const
{
    return box(section).shown;
}

bool KCheckBoxHeaderView::isCheckboxChecked(int section) const
{
    return box(section).checked;
}

bool KCheckBoxHeaderView::isCheckboxEnabled(int section) const
{
    return box(section).enabled;
}

void KCheckBoxHeaderView::setCheckboxesCount(int, int newCount)
{
    m_boxes.resize(qMax(newCount, m_boxes.size()));
}

void KCheckBoxHeaderView::setCheckboxShown(int section, bool shown)
{
    if (section < 0)
        return;
    setCheckboxesCount(0, section + 1);
    m_boxes[section].shown = shown;
    updateSection(section);
}

void KCheckBoxHeaderView::setCheckboxChecked(int section, bool state)
{
    if (section < 0)
        return;
    setCheckboxesCount(0, section + 1);
    m_boxes[section].checked = state;
    updateSection(section);
}

void KCheckBoxHeaderView::setCheckboxEnabled(int section, bool state)
{
    if (section < 0)
        return;
    setCheckboxesCount(0, section + 1);
    m_boxes[section].enabled = state;
    updateSection(section);
}

void KCheckBoxHeaderView::setMargin(int section, int margin)
{
    if (section < 0)
        return;
    setCheckboxesCount(0, section + 1);
    m_boxes[section].margin = margin;
    updateSection(section);
}

void KCheckBoxHeaderView::setCheckboxSize(int width, int height)
{
    m_size = QSize(width, height);
    viewport()->update();
}

QRect KCheckBoxHeaderView::boxRect(const QRect &sectionRect, int section) const
{
    const int margin = box(section).margin;
    const int x = margin < 0 ? sectionRect.center().x() - m_size.width() / 2 + 1
                             : sectionRect.left() + margin;
    const int y = sectionRect.center().y() - m_size.height() / 2 + 1;
    return QRect(QPoint(x, y), m_size);
}

QRect KCheckBoxHeaderView::checkboxRect(int section) const
{
    const int position = sectionViewportPosition(section);
    const QRect sectionRect = orientation() == Qt::Horizontal
                                  ? QRect(position, 0, sectionSize(section), height())
                                  : QRect(0, position, width(), sectionSize(section));
    return boxRect(sectionRect, section);
}

void KCheckBoxHeaderView::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    painter->save();
    QHeaderView::paintSection(painter, rect, logicalIndex);
    painter->restore();
    const Box b = box(logicalIndex);
    if (!b.shown)
        return;
    QStyleOptionButton option;
    option.rect = boxRect(rect, logicalIndex);
    option.state = b.checked ? QStyle::State_On : QStyle::State_Off;
    if (b.enabled && isEnabled())
        option.state |= QStyle::State_Enabled;
    style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, painter, this);
}

void KCheckBoxHeaderView::mousePressEvent(QMouseEvent *event)
{
    const int section = logicalIndexAt(event->pos());
    const Box b = box(section);
    if (event->button() == Qt::LeftButton && b.shown && b.enabled &&
        checkboxRect(section).contains(event->pos())) {
        m_boxes[section].checked = !b.checked;
        updateSection(section);
        emit checkboxClicked(section, !b.checked);
        return;
    }
    QHeaderView::mousePressEvent(event);
}
