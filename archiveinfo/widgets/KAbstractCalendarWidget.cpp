#include "KAbstractCalendarWidget.h"

#include "KSettings.h"

#include <QPainter>

namespace {

QColor themeColour(int index, const char *fallback)
{
    const QColor colour(KSettings::instance()->themeColor(index));
    return colour.isValid() ? colour : QColor(QLatin1String(fallback));
}

} // namespace

KAbstractCalendarWidget::KAbstractCalendarWidget(QWidget *parent) : QCalendarWidget(parent)
{
    setGridVisible(true);
    setObjectName(QStringLiteral("calendarWidget"));
    connect(this, &QCalendarWidget::currentPageChanged, this, &KAbstractCalendarWidget::changePage);
}

KAbstractCalendarWidget::~KAbstractCalendarWidget() = default;

QColor KAbstractCalendarWidget::dayColor(const QDate &date) const
{
    if (date.year() != yearShown() || date.month() != monthShown())
        return QColor(Qt::white);
    const int index = date.day() - 1;
    if (index >= m_archive.size())
        return themeColour(17, "#ffffff");
    return m_archive.at(index) ? themeColour(19, "#00aa00") : themeColour(18, "#cccccc");
}

void KAbstractCalendarWidget::collectInfo(int year, int month)
{
    if (m_infoRequested)
        return;
    m_infoRequested = true;
    m_archive.clear();
    updateCells();
    if (!collectInfo_p(year, month))
        m_infoRequested = false;
}

void KAbstractCalendarWidget::setInfo(const QList<bool> &archive)
{
    m_infoRequested = false;
    if (archive == m_archive)
        return;
    m_archive = archive;
    updateCells();
}

void KAbstractCalendarWidget::changePage(int year, int month)
{
    m_infoRequested = false;
    collectInfo(year, month);
}

void KAbstractCalendarWidget::resetInfo()
{
    m_infoRequested = false;
    m_archive.clear();
    updateCells();
}

void KAbstractCalendarWidget::showEvent(QShowEvent *event)
{
    QCalendarWidget::showEvent(event);
    collectInfo(yearShown(), monthShown());
}

void KAbstractCalendarWidget::paintCell(QPainter *painter, const QRect &rect,
                                        const QDate &date) const
{
    painter->save();
    const bool shownMonth = date.year() == yearShown() && date.month() == monthShown();
    painter->fillRect(rect, dayColor(date));
    if (shownMonth) {
        const QRect frame = rect.adjusted(0, 0, -1, -1);
        if (date == QDate::currentDate()) {
            painter->setPen(Qt::black);
            painter->drawRect(frame);
        }
        if (date == selectedDate()) {
            painter->setPen(Qt::blue);
            painter->drawRect(frame);
        }
    }
    QColor number;
    if (!shownMonth)
        number = Qt::lightGray;
    else if (date.dayOfWeek() == Qt::Saturday || date.dayOfWeek() == Qt::Sunday)
        number = Qt::red;
    else
        number = themeColour(10, "#333333");
    painter->setPen(number);
    painter->drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, QString::number(date.day()));
    painter->restore();
}
