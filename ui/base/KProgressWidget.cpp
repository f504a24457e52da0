#include "KProgressWidget.h"

#include "KResources.h"

#include <QLabel>
#include <QPixmap>
#include <QPixmapCache>
#include <QTimer>
#include <QVBoxLayout>

namespace {
// One frame number for all progress widgets; user-interface thread only.
int sharedFrame = 0;
} // namespace

KProgressWidget::KProgressWidget(QWidget *parent) : QFrame(parent)
{
    KResources::init();
    setObjectName(QStringLiteral("progressWidget"));
    setStyleSheet(QStringLiteral("#progressWidget{border: 0px;}"));
    setFrameShape(QFrame::Box);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addStretch(1);

    m_textLabel = new QLabel(this);
    m_textLabel->setObjectName(QStringLiteral("titleLabel_S"));
    m_textLabel->setAlignment(Qt::AlignCenter);
    m_textLabel->setWordWrap(true);
    layout->addWidget(m_textLabel);
    layout->addSpacing(20);

    m_pictureLabel = new QLabel(this);
    m_pictureLabel->setFixedSize(35, 35);
    layout->addWidget(m_pictureLabel, 0, Qt::AlignHCenter);
    layout->addStretch(1);

    m_timer = new QTimer(this);
    m_timer->setInterval(100);
    connect(m_timer, &QTimer::timeout, this, &KProgressWidget::update);

    showPicture(QStringLiteral(":/progress.png"));
}

KProgressWidget::KProgressWidget(const QString &text, QWidget *parent) : KProgressWidget(parent)
{
    setText(text);
}

KProgressWidget::~KProgressWidget() = default;

QString KProgressWidget::text() const
{
    return m_textLabel->text();
}

void KProgressWidget::setText(const QString &text)
{
    m_textLabel->setText(text);
}

bool KProgressWidget::isAnimated() const
{
    return m_timer->isActive();
}

void KProgressWidget::setAnimated(bool animated)
{
    if (animated) {
        m_timer->start();
        return;
    }
    m_timer->stop();
    showPicture(QStringLiteral(":/progress.png"));
}

bool KProgressWidget::isPictureVisible() const
{
    return !m_pictureLabel->isHidden();
}

void KProgressWidget::setPictureVisible(bool visible)
{
    m_pictureLabel->setVisible(visible);
}

int KProgressWidget::frame()
{
    return sharedFrame;
}

void KProgressWidget::update()
{
    sharedFrame = sharedFrame % 7 + 1;
    showPicture(QStringLiteral(":/progress%1.png").arg(sharedFrame));
}

void KProgressWidget::showPicture(const QString &path)
{
    QPixmap pixmap;
    if (!QPixmapCache::find(path, &pixmap)) {
        pixmap = QPixmap(path).scaled(35, 35, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        QPixmapCache::insert(path, pixmap);
    }
    m_pictureLabel->setPixmap(pixmap);
}
