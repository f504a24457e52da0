#pragma once

#include "KTextFieldEditorWidget.h"

#include <QTime>

class QTimeEdit;

// Edits a marker's text and time; id is the caller's row. The time must lie within the set.
class KMarkerEditorWidget : public KTextFieldEditorWidget
{
    Q_OBJECT

public:
    KMarkerEditorWidget(int id, const QString &text, const QTime &time, const QTime &beginTime,
                        const QTime &endTime, QWidget *parent = nullptr);

    QTimeEdit *timeEdit() const { return m_timeEdit; }

signals:
    void textChanged(int id, const QString &text, const QTime &time);

public slots:
    void confirm() override;

private:
    QTimeEdit *m_timeEdit = nullptr;
    QTime m_beginTime;
    QTime m_endTime;
};
