#include "KAbstractLoginWidget.h"

#include "KDBHandler.h"
#include "KProgressWidget.h"
#include "KSettings.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QStackedLayout>
#include <QTimer>
#include <QVBoxLayout>

KAbstractLoginWidget::KAbstractLoginWidget(QWidget *parent) : KToolWindow(parent)
{
    KDBHandler::instance()->start();
    KSettings *settings = KSettings::instance();

    setObjectName(QStringLiteral("loginWidget"));
    setCloseButtonVisible(false);
    setTitle(settings->brandTitle());

    m_loginButton = new QPushButton(QStringLiteral("Вход"), contentWidget());
    m_loginButton->setObjectName(QStringLiteral("loginButton"));
    m_loginButton->setFixedWidth(100);
    m_loginButton->setToolTip(QStringLiteral("Вход (Enter)"));
    // Enter on the focused button presses it, as it does in the fields.
    m_loginButton->setAutoDefault(true);
    connect(m_loginButton, &QPushButton::clicked, this, &KAbstractLoginWidget::login);

    m_cancelButton = new QPushButton(QStringLiteral("Отмена"), contentWidget());
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    m_cancelButton->setFixedWidth(100);
    connect(m_cancelButton, &QPushButton::clicked, qApp, &QCoreApplication::quit);

    auto *titleLabel = new QLabel(settings->applicationName(), contentWidget());
    titleLabel->setObjectName(QStringLiteral("titleLabel_L"));
    auto *versionLabel = new QLabel(QStringLiteral("v") + settings->applicationVersion() +
                                        QStringLiteral("\n© Tarnwick, 2019"),
                                    contentWidget());
    versionLabel->setObjectName(QStringLiteral("versionLabel"));
    versionLabel->setStyleSheet(QStringLiteral("font: 8pt"));
    auto *iconLabel = new QLabel(contentWidget());
    iconLabel->setObjectName(QStringLiteral("iconLabel"));
    iconLabel->setFixedSize(50, 50);
    iconLabel->setPixmap(QPixmap(settings->iconPath())
                             .scaled(50, 50, Qt::KeepAspectRatio, Qt::SmoothTransformation));

    // Page 0: heading, the form rows 1 to 4 (filled by the subclass), the buttons.
    auto *formPage = new QWidget(contentWidget());
    m_formLayout = new QGridLayout(formPage);
    m_formLayout->setContentsMargins(20, 20, 20, 20);
    m_formLayout->setVerticalSpacing(10);
    auto *heading = new QVBoxLayout();
    heading->addWidget(titleLabel);
    heading->addWidget(versionLabel);
    m_formLayout->addWidget(iconLabel, 0, 0);
    m_formLayout->addLayout(heading, 0, 1, 1, 2);
    auto *buttons = new QHBoxLayout();
    buttons->addStretch(1);
    buttons->addWidget(m_loginButton);
    buttons->addWidget(m_cancelButton);
    m_formLayout->addLayout(buttons, 5, 0, 1, 3);

    // Page 1: the waiting page.
    m_progressWidget = new KProgressWidget(contentWidget());

    auto *outer = new QVBoxLayout(contentWidget());
    outer->setContentsMargins(0, 0, 0, 0);
    m_stackedLayout = new QStackedLayout();
    m_stackedLayout->addWidget(formPage);
    m_stackedLayout->addWidget(m_progressWidget);
    outer->addLayout(m_stackedLayout);

    setFixedWidth(350);
    QTimer::singleShot(100, this, &KAbstractLoginWidget::updateApp);
}

KAbstractLoginWidget::~KAbstractLoginWidget()
{
    KDBHandler::instance()->close();
}

int KAbstractLoginWidget::currentPage() const
{
    return m_stackedLayout->currentIndex();
}

void KAbstractLoginWidget::showProgress(const QString &text)
{
    m_progressWidget->setText(text);
    m_progressWidget->setAnimated(true);
    m_stackedLayout->setCurrentIndex(ProgressPage);
}

void KAbstractLoginWidget::showForm()
{
    m_progressWidget->setAnimated(false);
    m_stackedLayout->setCurrentIndex(FormPage);
}

void KAbstractLoginWidget::startApp()
{
    showProgress(QStringLiteral("Загрузка..."));
    startApplication();
    if (!m_mainWidget)
        return;
    // Queued: the main window emits closed() from inside its own close(), and closeApp()
    // deletes it.
    connect(m_mainWidget.data(), &KToolWindow::closed, this, &KAbstractLoginWidget::closeApp,
            Qt::QueuedConnection);
    // The login window ends the loop itself after the shutdown page; closing the last visible
    // window must not end it first.
    m_mainWidget->setAttribute(Qt::WA_QuitOnClose, false);
    m_mainWidget->show();
    hide();
}

void KAbstractLoginWidget::closeApp()
{
    if (m_closing)
        return;
    m_closing = true;
    if (m_mainWidget)
        m_mainWidget->hide();

    setAttribute(Qt::WA_TransparentForMouseEvents);
    showProgress(QStringLiteral("Завершение работы..."));
    QCoreApplication::processEvents();
    show();
    QCoreApplication::processEvents();

    stopApplication();
    QCoreApplication::quit();
}

void KAbstractLoginWidget::updateApp() {}
