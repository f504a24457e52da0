#include "KAbstractArchiveInfoWidget.h"

#include "KAbstractArchiveInfoSlider.h"
#include "KArchiveInfoHandler.h"
#include "KObjectHandler.h"

#include <QScrollBar>

KAbstractArchiveInfoWidget::KAbstractArchiveInfoWidget(KAbstractArchiveInfoSlider *strip,
                                                       QWidget *parent)
    : QScrollArea(parent), m_strip(strip)
{
    setWidget(m_strip);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    verticalScrollBar()->setEnabled(false);
    setFixedHeight(m_strip->height());
    // About 06:00 at the left edge once the scroll bar knows its range.
    connect(horizontalScrollBar(), &QScrollBar::rangeChanged, this, [this](int, int maximum) {
        if (!m_scrollStartPending || maximum <= 0)
            return;
        m_scrollStartPending = false;
        horizontalScrollBar()->setValue(m_strip->width() / 4);
    });
    connect(KArchiveInfoHandler::instance(), &KArchiveInfoHandler::resultReceived, this,
            &KAbstractArchiveInfoWidget::setCellData);
}

KAbstractArchiveInfoWidget::~KAbstractArchiveInfoWidget()
{
    // quit() lets events through: none of them may reach this half-destroyed widget.
    disconnect(KArchiveInfoHandler::instance(), nullptr, this, nullptr);
    if (m_object)
        disconnect(m_object, nullptr, this, nullptr);
    if (m_jobID > 0)
        KArchiveInfoHandler::instance()->quit(m_jobID);
}

void KAbstractArchiveInfoWidget::setObject(KObjectHandler *object)
{
    if (object != m_object) {
        // Neither the old object's cells nor its pending answer belong to the new one.
        KArchiveInfoHandler::instance()->replaceRequest(&m_jobID, nullptr, 0, QDate());
        m_strip->clearCellData();
    }
    if (m_object)
        disconnect(m_object, &KObjectHandler::connectionStateChanged, this,
                   &KAbstractArchiveInfoWidget::updateInfo);
    m_object = object;
    if (m_object)
        connect(m_object, &KObjectHandler::connectionStateChanged, this,
                &KAbstractArchiveInfoWidget::updateInfo);
}

void KAbstractArchiveInfoWidget::collectInfo(QDate date)
{
    m_date = date;
    if (!m_keepCells)
        m_strip->clearCellData();
    m_keepCells = false;
    KArchiveInfoHandler::instance()->replaceRequest(&m_jobID, m_object, 0, m_date);
}

void KAbstractArchiveInfoWidget::updateInfo()
{
    m_keepCells = true;
    collectInfo(m_date);
}

void KAbstractArchiveInfoWidget::setCellData(int jobID, const QList<bool> &archive)
{
    if (jobID < 1 || jobID != m_jobID)
        return;
    m_jobID = -1;
    m_strip->setCellData(archive);
}
