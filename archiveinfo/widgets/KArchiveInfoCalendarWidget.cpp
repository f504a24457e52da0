#include "KArchiveInfoCalendarWidget.h"

#include "KArchiveInfoHandler.h"
#include "KObjectHandler.h"

KArchiveInfoCalendarWidget::KArchiveInfoCalendarWidget(QWidget *parent)
    : KAbstractCalendarWidget(parent)
{
    connect(KArchiveInfoHandler::instance(), &KArchiveInfoHandler::resultReceived, this,
            &KArchiveInfoCalendarWidget::setInfo);
}

KArchiveInfoCalendarWidget::~KArchiveInfoCalendarWidget()
{
    // quit() lets events through: none of them may reach this half-destroyed widget.
    disconnect(KArchiveInfoHandler::instance(), nullptr, this, nullptr);
    if (m_jobID > 0)
        KArchiveInfoHandler::instance()->quit(m_jobID);
}

void KArchiveInfoCalendarWidget::setObject(KObjectHandler *object)
{
    if (object == m_object)
        return;
    // The days known and the answer awaited are the old object's.
    KArchiveInfoHandler::instance()->replaceRequest(&m_jobID, nullptr, 1, QDate());
    m_object = object;
    resetInfo();
    if (isVisible())
        collectInfo(yearShown(), monthShown());
}

bool KArchiveInfoCalendarWidget::collectInfo_p(int year, int month)
{
    if (!m_object)
        return false;
    m_monthDate = QDate(year, month, 1);
    KArchiveInfoHandler::instance()->replaceRequest(&m_jobID, m_object, 1, m_monthDate);
    return m_jobID > 0;
}

void KArchiveInfoCalendarWidget::setInfo(int jobID, const QList<bool> &archive)
{
    if (jobID < 1 || jobID != m_jobID)
        return;
    m_jobID = -1;
    KAbstractCalendarWidget::setInfo(archive);
}
