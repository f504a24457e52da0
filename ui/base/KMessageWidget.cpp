#include "KMessageWidget.h"

#include <QEventLoop>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

KMessageWidget::KMessageWidget(int kind, const QString &text, QWidget *parent)
    : KToolWindow(parent), m_kind(kind >= Information && kind <= Success ? kind : Information)
{
    // A message never ends the program by being the last window closed.
    setAttribute(Qt::WA_QuitOnClose, false);
    setTitle(defaultHeading(m_kind));

    m_iconLabel = new QLabel(contentWidget());
    m_iconLabel->setFixedSize(40, 40);
    const QString icon = iconPath(m_kind);
    if (icon.isEmpty()) {
        m_iconLabel->hide();
    } else {
        m_iconLabel->setPixmap(
            QPixmap(icon).scaled(40, 40, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }

    m_textLabel = new QLabel(contentWidget());
    // Messages quote file names and device answers: never read them as markup.
    m_textLabel->setTextFormat(Qt::PlainText);
    m_textLabel->setWordWrap(true);
    m_textLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_textLabel->setMinimumWidth(260);
    m_textLabel->setMaximumWidth(520);
    m_textLabel->setText(text);

    const bool question = m_kind == Question;
    m_acceptButton = new QPushButton(question ? QStringLiteral("Да") : QStringLiteral("Принять"),
                                     contentWidget());
    m_acceptButton->setFixedWidth(100);
    m_acceptButton->setDefault(true);
    m_acceptButton->setAutoDefault(true);
    connect(m_acceptButton, &QPushButton::clicked, this, &KMessageWidget::confirm);
    if (question) {
        m_rejectButton = new QPushButton(QStringLiteral("Нет"), contentWidget());
        m_rejectButton->setFixedWidth(100);
        m_rejectButton->setAutoDefault(true);
        connect(m_rejectButton, &QPushButton::clicked, this, &KMessageWidget::discard);
    }

    auto *messageRow = new QHBoxLayout;
    messageRow->setSpacing(15);
    messageRow->addWidget(m_iconLabel, 0, Qt::AlignTop);
    messageRow->addWidget(m_textLabel, 1);

    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(m_acceptButton);
    if (m_rejectButton)
        buttonRow->addWidget(m_rejectButton);
    buttonRow->addStretch(1);

    auto *layout = new QVBoxLayout;
    layout->setContentsMargins(15, 15, 15, 15);
    layout->setSpacing(15);
    layout->addLayout(messageRow);
    layout->addLayout(buttonRow);
    setContentLayout(layout);

    setMinimumWidth(350);
    m_acceptButton->setFocus();
}

KMessageWidget::~KMessageWidget() = default;

QString KMessageWidget::text() const
{
    return m_textLabel->text();
}

void KMessageWidget::setText(const QString &text)
{
    m_textLabel->setText(text);
}

QString KMessageWidget::defaultHeading(int kind)
{
    switch (kind) {
    case Warning:
        return QStringLiteral("Внимание!");
    case Error:
        return QStringLiteral("Ошибка!");
    case Success:
        return QStringLiteral("Успех операции!");
    default:
        return QStringLiteral("Сообщение от системы");
    }
}

QString KMessageWidget::iconPath(int kind)
{
    switch (kind) {
    case Question:
        return QStringLiteral(":/dialog.png");
    case Warning:
        return QStringLiteral(":/warning.png");
    case Error:
        return QStringLiteral(":/critical.png");
    case Success:
        return QStringLiteral(":/success.png");
    default:
        return QString();
    }
}

void KMessageWidget::confirm()
{
    if (m_answered)
        return;
    m_answered = true;
    // The flag is set before the signal so that receivers can read result().
    m_result = true;
    emit confirmed();
    KToolWindow::close();
}

void KMessageWidget::discard()
{
    if (m_answered)
        return;
    m_answered = true;
    m_result = false;
    emit discarded();
    KToolWindow::close();
}

void KMessageWidget::show()
{
    KToolWindow::show();
    m_acceptButton->setFocus();
}

void KMessageWidget::close()
{
    // Closing without an answer (close button, window system) is a refusal; otherwise exec()
    // would wait for an answer that never comes.
    if (!m_answered)
        discard();
    else
        KToolWindow::close();
}

void KMessageWidget::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        discard();
        return;
    }
    KToolWindow::keyPressEvent(event);
}

bool KMessageWidget::exec()
{
    QPointer<KMessageWidget> self(this);
    if (!m_answered) {
        QEventLoop loop;
        connect(this, &KMessageWidget::confirmed, &loop, &QEventLoop::quit);
        connect(this, &KMessageWidget::discarded, &loop, &QEventLoop::quit);
        connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
        show();
        loop.exec(QEventLoop::DialogExec);
    }
    if (!self)
        return false;
    QTimer::singleShot(1000, this, &QObject::deleteLater);
    return m_result;
}

bool KMessageWidget::execMessage(int kind, const QString &text, QWidget *parent,
                                 const QString &heading)
{
    auto *message = new KMessageWidget(kind, text, parent);
    if (!heading.isEmpty())
        message->setHeading(heading);
    return message->exec();
}
