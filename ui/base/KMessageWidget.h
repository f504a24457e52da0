#pragma once

#include "KToolWindow.h"

class QPushButton;

// A message or question window. Kinds: 0 information, 1 question ("Да"/"Нет"), 2 warning,
// 3 error, 4 success; each kind has its icon (none for information) and heading.
//
// A message window deletes itself after it was answered, so create it with new:
//     auto *message = new KMessageWidget(KMessageWidget::Question, "Вы уверены?", this);
//     message->setHeading("Выход из программы");
//     if (message->exec()) ...
// or the one-liner KMessageWidget::execMessage(kind, text, parent[, heading]).
//
// The accept button has the keyboard focus, so Enter or Space answers it; Escape or a close
// request from the window system counts as discard().
class KMessageWidget : public KToolWindow
{
    Q_OBJECT

public:
    enum Kind { Information = 0, Question = 1, Warning = 2, Error = 3, Success = 4 };

    KMessageWidget(int kind, const QString &text, QWidget *parent = nullptr);
    ~KMessageWidget() override;

    int kind() const { return m_kind; }
    QString text() const;
    void setText(const QString &text);
    // The heading is the title bar text; the kind sets a default one.
    QString heading() const { return title(); }
    void setHeading(const QString &heading) { setTitle(heading); }
    // True after confirm(), false after discard() (and before any answer).
    bool result() const { return m_result; }

    QPushButton *acceptButton() const { return m_acceptButton; }
    // Null unless the kind is Question.
    QPushButton *rejectButton() const { return m_rejectButton; }
    QLabel *iconLabel() const { return m_iconLabel; }

    // Shows the window, waits in a local event loop until it is answered, schedules its
    // deletion 1000 ms later and returns the result flag. Call it on a window created with new.
    bool exec();
    // Creates a message window of the kind, runs exec() and returns its result.
    static bool execMessage(int kind, const QString &text, QWidget *parent = nullptr,
                            const QString &heading = QString());

    static QString defaultHeading(int kind);
    static QString iconPath(int kind);

signals:
    void confirmed();
    void discarded();

public slots:
    void confirm();
    void discard();
    void show() override;
    void close() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    int m_kind = Information;
    bool m_result = false;
    bool m_answered = false;
    QLabel *m_iconLabel = nullptr;
    QLabel *m_textLabel = nullptr;
    QPushButton *m_acceptButton = nullptr;
    QPushButton *m_rejectButton = nullptr;
};
