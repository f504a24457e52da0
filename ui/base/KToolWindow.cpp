#include "KToolWindow.h"

#include "KResources.h"
#include "KSettings.h"
#include "KStyleSheet.h"
#include "KTitleWidget.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

KToolWindow::KToolWindow(QWidget *parent) : QLabel(parent)
{
    // The first window of the process may come before main() installed the theme; the settings
    // object applies the sheet only when it is created, so install it before touching it.
    static const bool themeInstalled = (KStyleSheet::install(), true);
    Q_UNUSED(themeInstalled);
    KResources::init();

    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setWindowModality(Qt::WindowModal);
    setWindowIcon(QIcon(KSettings::instance()->iconPath()));

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    m_frameWidget = new QFrame(this);
    m_frameWidget->setObjectName(QStringLiteral("frameWidget"));
    outer->addWidget(m_frameWidget);

    auto *frameLayout = new QVBoxLayout(m_frameWidget);
    frameLayout->setContentsMargins(0, 0, 0, 0);
    frameLayout->setSpacing(0);

    m_titleWidget = new KTitleWidget(m_frameWidget);
    m_titleWidget->setStyleSheet(
        QStringLiteral("#titleWidget{background-color: white; border-bottom: 1px solid ") +
        KSettings::instance()->themeColor(5) + QStringLiteral(";}"));
    frameLayout->addWidget(m_titleWidget);

    m_contentWidget = new QWidget(m_frameWidget);
    frameLayout->addWidget(m_contentWidget, 1);

    // Through the virtual close(), so that a subclass's close() is what the button does.
    connect(m_titleWidget->closeButton(), &QPushButton::clicked, this, [this]() { close(); });
}

KToolWindow::~KToolWindow() = default;

QString KToolWindow::title() const
{
    return m_titleWidget->title();
}

void KToolWindow::setTitle(const QString &text)
{
    m_titleWidget->setTitle(text);
    setWindowTitle(text);
}

QSize KToolWindow::sizeHint() const
{
    return layout()->totalSizeHint();
}

QSize KToolWindow::minimumSizeHint() const
{
    return layout()->totalMinimumSize();
}

QPushButton *KToolWindow::closeButton() const
{
    return m_titleWidget->closeButton();
}

void KToolWindow::setContentLayout(QLayout *layout)
{
    if (!m_contentWidget->layout())
        m_contentWidget->setLayout(layout);
}

bool KToolWindow::isTitleBarVisible() const
{
    return !m_titleWidget->isHidden();
}

void KToolWindow::setTitleBarVisible(bool visible)
{
    m_titleWidget->setVisible(visible);
}

void KToolWindow::setCloseButtonVisible(bool visible)
{
    m_titleWidget->closeButton()->setVisible(visible);
}

QPoint KToolWindow::centredPosition(const QSize &windowSize, const QRect &available,
                                    const QRect &parentGlobalRect)
{
    if (available.height() <= windowSize.height())
        return {available.x() + available.width() / 16, available.y() + available.height() / 16};
    if (!parentGlobalRect.isNull()) {
        return {parentGlobalRect.x() + parentGlobalRect.width() / 2 - windowSize.width() / 2,
                parentGlobalRect.y() + parentGlobalRect.height() / 2 - windowSize.height() / 2};
    }
    return {available.x() + available.width() / 2 - windowSize.width() / 2,
            available.y() + available.height() / 2 - windowSize.height() / 2};
}

void KToolWindow::centre()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect parentRect;
    // Over the owner's whole window: a tool window owned by a pane would sit off to its side.
    if (const QWidget *parent = parentWidget() ? parentWidget()->window() : nullptr)
        parentRect = QRect(parent->mapToGlobal(QPoint(0, 0)), parent->size());
    move(centredPosition(size(), screen->availableGeometry(), parentRect));
}

void KToolWindow::show()
{
    QLabel::show();
    activateWindow();
    raise();
    centre();
}

void KToolWindow::close()
{
    emit closed();
    if (m_externalClose) {
        // Inside closeEvent() of a close started elsewhere: Qt closes the window when that
        // event is accepted (a nested QWidget::close() would be ignored).
        m_externalCloseAccepted = true;
        return;
    }
    m_closing = true;
    QLabel::close();
    m_closing = false;
}

void KToolWindow::closeEvent(QCloseEvent *event)
{
    if (m_closing) {
        QLabel::closeEvent(event);
        return;
    }
    // A close request from elsewhere (window system, QWidget::close()) takes the same way as the
    // close button, so subclasses see every close in close() and may refuse it there.
    m_externalClose = true;
    m_externalCloseAccepted = false;
    close();
    m_externalClose = false;
    if (m_externalCloseAccepted)
        QLabel::closeEvent(event);
    else
        event->ignore();
}

bool KToolWindow::event(QEvent *event)
{
    // Losing the keyboard by being hidden still counts as having had it.
    if (event->type() == QEvent::WindowActivate)
        m_hadKeyboard = true;
    else if (event->type() == QEvent::WindowDeactivate && !isHidden())
        m_hadKeyboard = false;
    return QLabel::event(event);
}

void KToolWindow::hideEvent(QHideEvent *event)
{
    QLabel::hideEvent(event);
    const bool hadKeyboard = m_hadKeyboard || QApplication::activeWindow() == this;
    m_hadKeyboard = false;
    QWidget *owner = parentWidget() ? parentWidget()->window() : nullptr;
    if (hadKeyboard && owner && owner->isVisible() && !event->spontaneous())
        owner->activateWindow();
}
