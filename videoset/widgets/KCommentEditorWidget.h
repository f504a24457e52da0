#pragma once

#include "KTextFieldEditorWidget.h"

// Edits a set's comment; id is the caller's row. An empty text clears the comment.
class KCommentEditorWidget : public KTextFieldEditorWidget
{
    Q_OBJECT

public:
    KCommentEditorWidget(int id, const QString &text, QWidget *parent = nullptr);

signals:
    void textChanged(int id, const QString &text);

public slots:
    void confirm() override;
};
