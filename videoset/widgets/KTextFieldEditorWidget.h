#pragma once

#include "KToolWindow.h"

class QLineEdit;
class QPushButton;
class QVBoxLayout;

// Base of the small text editors: a text field with "Принять" (Enter) and "Отменить" (Esc).
// Characters a data file cannot hold become spaces as they are entered. It is deleted on
// close.
class KTextFieldEditorWidget : public KToolWindow
{
    Q_OBJECT

public:
    KTextFieldEditorWidget(int id, const QString &text, QWidget *parent = nullptr);

    int id() const { return m_id; }
    QLineEdit *textField() const { return m_textField; }
    QPushButton *acceptButton() const { return m_acceptButton; }

public slots:
    virtual void confirm() = 0;

protected:
    // Where subclasses add their own editors, above the buttons.
    QVBoxLayout *editorLayout() const { return m_editorLayout; }

private:
    int m_id;
    QLineEdit *m_textField = nullptr;
    QPushButton *m_acceptButton = nullptr;
    QVBoxLayout *m_editorLayout = nullptr;
};
