#include "KCommentEditorWidget.h"

#include <QLineEdit>

KCommentEditorWidget::KCommentEditorWidget(int id, const QString &text, QWidget *parent)
    : KTextFieldEditorWidget(id, text, parent)
{
    setTitle(QStringLiteral("Редактировать комментарий"));
}

void KCommentEditorWidget::confirm()
{
    emit textChanged(id(), textField()->text());
    close();
}
