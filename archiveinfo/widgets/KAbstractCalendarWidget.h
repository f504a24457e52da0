#pragma once

#include <QCalendarWidget>
#include <QList>

// A calendar that marks the days of the shown month by archive availability: green with
// recordings, gray without, white while nothing is known. Asks once per shown page.
class KAbstractCalendarWidget : public QCalendarWidget
{
    Q_OBJECT

public:
    explicit KAbstractCalendarWidget(QWidget *parent = nullptr);
    ~KAbstractCalendarWidget() override;

    QList<bool> archive() const { return m_archive; }
    bool isInfoRequested() const { return m_infoRequested; }
    // The fill of a day cell of the shown month (a day of another month is white).
    QColor dayColor(const QDate &date) const;

protected slots:
    void collectInfo(int year, int month);
    void setInfo(const QList<bool> &archive);
    void changePage(int year, int month);

protected:
    // Sends the request for the month; false when none could be sent, so that the next show
    // of the page asks again.
    virtual bool collectInfo_p(int year, int month) = 0;
    // Forgets what is known, e.g. when the calendar is handed another object.
    void resetInfo();

    void paintCell(QPainter *painter, const QRect &rect, const QDate &date) const override;
    void showEvent(QShowEvent *event) override;

private:
    bool m_infoRequested = false;
    QList<bool> m_archive;
};
