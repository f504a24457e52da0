#include "KMarkerEditorWidget.h"

#include "KMessageWidget.h"

#include <QLineEdit>
#include <QTimeEdit>
#include <QVBoxLayout>

KMarkerEditorWidget::KMarkerEditorWidget(int id, const QString &text, const QTime &time,
                                         const QTime &beginTime, const QTime &endTime,
                                         QWidget *parent)
    : KTextFieldEditorWidget(id, text, parent), m_beginTime(beginTime), m_endTime(endTime)
{
    m_timeEdit = new QTimeEdit(time.isValid() ? time : beginTime, this);
    m_timeEdit->setDisplayFormat(QStringLiteral("hh:mm:ss"));
    editorLayout()->insertWidget(0, m_timeEdit);
    textField()->setFocus();
}

void KMarkerEditorWidget::confirm()
{
    const QTime time = m_timeEdit->time();
    if (time < m_beginTime || time > m_endTime) {
        KMessageWidget::execMessage(
            KMessageWidget::Warning,
            QStringLiteral("Заданное время не попадает в интервал видеофрагмента!"), this);
        return;
    }
    const QString text = textField()->text();
    if (text.isEmpty())
        return;
    emit textChanged(id(), text, time);
    close();
}
