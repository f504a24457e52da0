#pragma once

#include "KAbstractCalendarWidget.h"
#include "KObjectHandler.h"

#include <QDate>
#include <QPointer>

// The calendar of an object's archive: asks the archive-information handler which days of the
// shown month hold recordings of the object's first available channel.
class KArchiveInfoCalendarWidget : public KAbstractCalendarWidget
{
    Q_OBJECT

public:
    explicit KArchiveInfoCalendarWidget(QWidget *parent = nullptr);
    ~KArchiveInfoCalendarWidget() override;

    // Does not follow the object's connection: the calendar asks when a page is shown.
    void setObject(KObjectHandler *object);
    KObjectHandler *object() const { return m_object.data(); }
    int jobID() const { return m_jobID; }
    QDate monthDate() const { return m_monthDate; }

private slots:
    bool collectInfo_p(int year, int month) override;
    void setInfo(int jobID, const QList<bool> &archive);

private:
    QPointer<KObjectHandler> m_object;
    int m_jobID = -1;
    QDate m_monthDate;
};
