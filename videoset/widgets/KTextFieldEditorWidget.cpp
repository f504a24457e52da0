#include "KTextFieldEditorWidget.h"

#include "KVideoSetData.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

KTextFieldEditorWidget::KTextFieldEditorWidget(int id, const QString &text, QWidget *parent)
    : KToolWindow(parent), m_id(id)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setMinimumWidth(400);
    m_textField = new QLineEdit(text, this);
    m_textField->setPlaceholderText(QStringLiteral("Введите текст"));
    m_acceptButton = new QPushButton(QStringLiteral("Принять"), this);
    m_acceptButton->setToolTip(QStringLiteral("Принять (Enter)"));
    auto *cancelButton = new QPushButton(QStringLiteral("Отменить"), this);
    cancelButton->setToolTip(QStringLiteral("Отменить (Esc)"));
    cancelButton->setShortcut(QKeySequence(Qt::Key_Escape));
    m_acceptButton->setFixedWidth(100);
    cancelButton->setFixedWidth(100);
    connect(m_acceptButton, &QPushButton::clicked, this, &KTextFieldEditorWidget::confirm);
    connect(m_textField, &QLineEdit::returnPressed, this, &KTextFieldEditorWidget::confirm);
    // A pasted control character (a vertical tab from a spreadsheet) cannot be stored.
    connect(m_textField, &QLineEdit::textChanged, this, [this](const QString &text) {
        const QString storable = KVideoSetData::storableText(text);
        if (storable == text)
            return;
        const int cursor = m_textField->cursorPosition();
        m_textField->setText(storable);
        m_textField->setCursorPosition(cursor);
    });
    connect(cancelButton, &QPushButton::clicked, this, &KTextFieldEditorWidget::close);

    m_editorLayout = new QVBoxLayout;
    m_editorLayout->addWidget(m_textField);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_acceptButton);
    buttons->addWidget(cancelButton);
    auto *layout = new QVBoxLayout(contentWidget());
    layout->addLayout(m_editorLayout);
    layout->addLayout(buttons);
    m_textField->setFocus();
}
