#include "KMainWindow.h"

#include "KAppInfoWidget.h"
#include "KDBHandler.h"
#include "KMessageWidget.h"
#include "KSettings.h"
#include "KTitleWidget.h"
#include "KUserLogHandler.h"

#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>

namespace {
// A stored size smaller than this is not a real window size (an empty or damaged store).
constexpr int kMinimumWidth = 640;
constexpr int kMinimumHeight = 480;
} // namespace

KMainWindow::KMainWindow(QWidget *parent) : KToolWindow(parent)
{
    KSettings *settings = KSettings::instance();
    setWindowModality(Qt::NonModal);
    setTitle(settings->applicationName());

    KTitleWidget *bar = titleWidget();
    m_dbStateIconLabel = new QLabel;
    m_dbStateIconLabel->setFixedSize(22, 22);
    m_dbStateTextLabel = new QLabel;
    m_dbStateTextLabel->setObjectName(QStringLiteral("titleLabel_S"));
    bar->addWidget(m_dbStateIconLabel);
    bar->addWidget(m_dbStateTextLabel);
    auto *gap = new QLabel;
    gap->setFixedWidth(15);
    bar->addWidget(gap);

    m_windowSizeLabel = new QLabel(QStringLiteral("Размер окна:"));
    m_windowSizeBox = new QComboBox;
    m_windowSizeBox->setObjectName(QStringLiteral("windowSizeBox"));
    m_windowSizeBox->setFixedWidth(95);
    m_windowSizeBox->setFocusPolicy(Qt::NoFocus);
    bar->addWidget(m_windowSizeLabel);
    bar->addWidget(m_windowSizeBox);

    m_appInfoButton =
        bar->addButton(QStringLiteral("appInfoButton"), QStringLiteral("О программе"));
    m_minimizeButton = bar->addButton(QStringLiteral("minimizeButton"), QStringLiteral("Свернуть"));
    m_maximizeButton =
        bar->addButton(QStringLiteral("maximizeButton"), QStringLiteral("Развернуть"));
    for (QPushButton *button : {m_appInfoButton, m_minimizeButton, m_maximizeButton}) {
        button->setFixedSize(20, 20);
        button->setFocusPolicy(Qt::NoFocus);
    }

    const QVector<QRect> sizes = settings->windowSizes();
    for (const QRect &size : sizes)
        m_windowSizeBox->addItem(QString::number(size.width()) + QStringLiteral(" x ") +
                                 QString::number(size.height()));

    QRect rect = settings->windowRect();
    int index = rect.x();
    if (index < 0 || index >= sizes.size()) {
        // An identifier that names no entry: fall back to the smallest size.
        index = sizes.size() - 1;
        rect = sizes.value(index);
    } else if (rect.width() < kMinimumWidth || rect.height() < kMinimumHeight) {
        rect = sizes.value(index);
    }
    m_windowSizeBox->setCurrentIndex(index);
    connect(m_windowSizeBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            QOverload<int>::of(&KMainWindow::setWindowSize));

    // The exit question from the keyboard too: a frameless window gets no Alt+F4 from the
    // window system.
    closeButton()->setToolTip(QStringLiteral("Закрыть (Alt+F4)"));
    auto *closeShortcut = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_F4), this);
    closeShortcut->setContext(Qt::WindowShortcut);
    connect(closeShortcut, &QShortcut::activated, this, [this] { close(); });

    connect(m_minimizeButton, &QPushButton::clicked, this, &KMainWindow::minimize);
    connect(m_maximizeButton, &QPushButton::clicked, this, &KMainWindow::maximize);
    connect(m_appInfoButton, &QPushButton::clicked, this, &KMainWindow::showAppInfo);

    setWindowSize(rect);

    connect(KDBHandler::instance(), &KDBHandler::connectionStateChanged, this,
            &KMainWindow::setDBConnectionState);
    connect(bar, &KTitleWidget::moved, this, &KMainWindow::skipMaximize);
}

KMainWindow::~KMainWindow() = default;

void KMainWindow::show()
{
    if (m_fullScreen) {
        showFullScreen();
        return;
    }
    KToolWindow::show();
    if (KSettings::instance()->windowMaximized() && !m_maximized)
        maximize();
}

void KMainWindow::showFullScreen()
{
    setTitleBarVisible(false);
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
    QWidget::showFullScreen();
}

void KMainWindow::close()
{
    // A second request while the question is open (title button, then Alt+F4) asks nothing new.
    if (m_asking)
        return;
    m_asking = true;
    QPointer<KMainWindow> self(this);
    auto *question =
        new KMessageWidget(KMessageWidget::Question, QStringLiteral("Вы уверены?"), this);
    question->setHeading(QStringLiteral("Выход из программы"));
    const bool confirmed = question->exec();
    if (!self)
        return;
    m_asking = false;
    if (!confirmed)
        return;
    emit closed();
    KUserLogHandler::instance()->write(1, QStringLiteral("Выход из программы"));
}

void KMainWindow::minimize()
{
    if (m_fullScreen)
        return;
    showMinimized();
}

void KMainWindow::maximize()
{
    if (m_fullScreen)
        return;
    KSettings *settings = KSettings::instance();
    if (m_maximized) {
        m_maximized = false;
        const QRect size = settings->windowSizes().value(m_windowSizeBox->currentIndex());
        applyFixedSize(size.size());
        move(m_normalPosition);
        m_windowSizeLabel->setEnabled(true);
        m_windowSizeBox->setEnabled(true);
        m_maximizeButton->setToolTip(QStringLiteral("Развернуть"));
    } else {
        m_maximized = true;
        m_normalPosition = mapToGlobal(QPoint(0, 0));
        QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
        const QRect available = screen->availableGeometry();
        applyFixedSize(available.size());
        move(available.topLeft());
        m_windowSizeLabel->setEnabled(false);
        m_windowSizeBox->setEnabled(false);
        m_maximizeButton->setToolTip(QStringLiteral("Свернуть в окно"));
    }
    settings->setWindowMaximized(m_maximized);
}

void KMainWindow::skipMaximize()
{
    if (!m_fullScreen && m_maximized)
        maximize();
}

void KMainWindow::showAppInfo()
{
    auto *info = new KAppInfoWidget(this);
    info->setAttribute(Qt::WA_DeleteOnClose);
    info->show();
}

void KMainWindow::setWindowSize(QRect size)
{
    applyFixedSize(size.size());
    centre();
    KSettings::instance()->setWindowRect(size);
}

void KMainWindow::setWindowSize(int index)
{
    const QVector<QRect> sizes = KSettings::instance()->windowSizes();
    if (index < 0 || index >= sizes.size())
        return;
    m_maximized = false;
    setWindowState(Qt::WindowNoState);
    m_maximizeButton->setToolTip(QStringLiteral("Развернуть"));
    m_windowSizeLabel->setEnabled(true);
    m_windowSizeBox->setEnabled(true);
    applyFixedSize(sizes.at(index).size());
    centre();
    KSettings::instance()->setWindowRect(sizes.at(index));
}

void KMainWindow::setDBConnectionState(bool state)
{
    if (state) {
        m_dbStateTextLabel->clear();
        m_dbStateIconLabel->clear();
    } else {
        m_dbStateTextLabel->setText(QStringLiteral("Нет связи с БД!"));
        m_dbStateIconLabel->setPixmap(
            QPixmap(QStringLiteral(":/warning.png"))
                .scaled(22, 22, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }
}

void KMainWindow::applyFixedSize(const QSize &size)
{
    setFixedSize(size);
}
