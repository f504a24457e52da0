#include "KTitleWidget.h"

#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPushButton>

KTitleWidget::KTitleWidget(QWidget *parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("titleWidget"));

    m_layout = new QHBoxLayout(this);
    m_layout->setContentsMargins(8, 4, 5, 4);
    m_layout->setSpacing(4);

    m_titleLabel = new QLabel(this);
    m_titleLabel->setObjectName(QStringLiteral("titleLabel_S"));
    m_layout->addWidget(m_titleLabel);
    m_layout->addStretch(1);
    m_insertIndex = m_layout->count();

    m_closeButton = new QPushButton(this);
    m_closeButton->setObjectName(QStringLiteral("closeButton"));
    m_closeButton->setFixedSize(20, 20);
    m_closeButton->setToolTip(QStringLiteral("Закрыть"));
    // Title buttons never take the keyboard focus from the window's own controls.
    m_closeButton->setFocusPolicy(Qt::NoFocus);
    m_layout->addWidget(m_closeButton);
}

QString KTitleWidget::title() const
{
    return m_titleLabel->text();
}

void KTitleWidget::setTitle(const QString &text)
{
    m_titleLabel->setText(text);
}

QSize KTitleWidget::sizeHint() const
{
    return m_layout->totalSizeHint();
}

QSize KTitleWidget::minimumSizeHint() const
{
    return m_layout->totalMinimumSize();
}

void KTitleWidget::addWidget(QWidget *widget)
{
    m_layout->insertWidget(m_insertIndex++, widget);
}

QPushButton *KTitleWidget::addButton(const QString &objectName, const QString &toolTip)
{
    auto *button = new QPushButton(this);
    button->setObjectName(objectName);
    button->setFixedSize(20, 20);
    button->setToolTip(toolTip);
    button->setFocusPolicy(Qt::NoFocus);
    addWidget(button);
    return button;
}

void KTitleWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QLabel::mousePressEvent(event);
        return;
    }
    m_pressPosition = event->pos();
    m_dragging = true;
    event->accept();
}

void KTitleWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_dragging || !(event->buttons() & Qt::LeftButton)) {
        QLabel::mouseMoveEvent(event);
        return;
    }
    // Keep the grabbed point under the mouse: the bar's own offset inside the window counts too.
    QWidget *top = window();
    const QPoint offset = top == this ? QPoint() : mapTo(top, QPoint(0, 0));
    top->move(event->globalPos() - m_pressPosition - offset);
    event->accept();
    emit moved();
}

void KTitleWidget::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_dragging = false;
        m_pressPosition = QPoint();
    }
    QLabel::mouseReleaseEvent(event);
}
