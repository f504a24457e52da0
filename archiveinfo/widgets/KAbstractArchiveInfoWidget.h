#pragma once

#include "KObjectHandler.h"

#include <QDate>
#include <QList>
#include <QPointer>
#include <QScrollArea>

class KAbstractArchiveInfoSlider;

// The scrollable time-line of one object's day: asks the archive-information handler for the
// minutes of the object's first available channel and shows them on its strip. A new request
// cancels the pending one; an answer for another job is ignored.
class KAbstractArchiveInfoWidget : public QScrollArea
{
    Q_OBJECT

public:
    ~KAbstractArchiveInfoWidget() override;

    // Follows the object's connection changes (each one asks again, keeping the old cells
    // until the answer replaces them).
    void setObject(KObjectHandler *object);
    KObjectHandler *object() const { return m_object.data(); }
    int jobID() const { return m_jobID; }
    QDate date() const { return m_date; }
    KAbstractArchiveInfoSlider *strip() const { return m_strip; }

public slots:
    void collectInfo(QDate date);
    void updateInfo();

private slots:
    void setCellData(int jobID, const QList<bool> &archive);

protected:
    // Takes the strip the subclass made.
    explicit KAbstractArchiveInfoWidget(KAbstractArchiveInfoSlider *strip,
                                        QWidget *parent = nullptr);

private:
    QPointer<KObjectHandler> m_object;
    int m_jobID = -1;
    KAbstractArchiveInfoSlider *m_strip;
    QDate m_date;
    bool m_keepCells = false;
    bool m_scrollStartPending = true;
};
