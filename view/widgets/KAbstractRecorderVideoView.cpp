#include "KAbstractRecorderVideoView.h"

#include "KFolderName.h"
#include "KFormat.h"
#include "KMessageWidget.h"
#include "KObjectHandler.h"
#include "KSettings.h"
#include "KViewHandler.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace {

const char *const linkStyle = "border: 0px; border-radius: 0px; background-color: transparent;";
const char *const weakLinkStyle =
    "border: 0px; border-radius: 2px; background-color: #c62828; color: white; padding: 0 3px;";

} // namespace

KAbstractRecorderVideoView::KAbstractRecorderVideoView(QWidget *parent) : KAbstractVideoView(parent)
{
    connect(KViewHandler::instance(), &KViewHandler::snapshotTaken, this,
            &KAbstractRecorderVideoView::handleSnapshotTake);
    m_linkLabel = new QLabel;
    m_linkLabel->setObjectName(QStringLiteral("channelWidget"));
    m_linkLabel->setStyleSheet(QString::fromLatin1(linkStyle));
    m_linkLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // The title gives way first when the tile is narrow.
    m_titleLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    static_cast<QHBoxLayout *>(m_topBar->layout())->insertWidget(1, m_linkLabel);
    m_linkTimer = new QTimer(this);
    m_linkTimer->setInterval(1000);
    connect(m_linkTimer, &QTimer::timeout, this, &KAbstractRecorderVideoView::showLink);
}

KAbstractRecorderVideoView::~KAbstractRecorderVideoView()
{
    if (m_jobID > 0)
        KViewHandler::instance()->quit(m_jobID);
}

QString KAbstractRecorderVideoView::snapshotFolder(const QString &root, const QString &objectName)
{
    return root + QLatin1Char('/') + KFolderName::forObject(objectName);
}

void KAbstractRecorderVideoView::setObject(KObjectHandler *objectHandler)
{
    if (m_viewState == 0)
        stop();
    m_objectHandler = objectHandler;
    setChannels(objectHandler ? objectHandler->channels() : QMap<QString, KChannelData>());
}

void KAbstractRecorderVideoView::setCurrentChannel(QString channelID)
{
    if (!m_objectHandler)
        return;
    KAbstractVideoView::setCurrentChannel(channelID);
    if (m_channels.value(channelID).available)
        m_backgroundLabel->setText(QStringLiteral("Трансляция\nотключена"));
}

void KAbstractRecorderVideoView::startJob(int viewType, const QDateTime &dateTime)
{
    KViewJob job;
    job.object = m_objectHandler;
    job.viewType = viewType;
    job.windowHandle = int(quint32(m_videoSurface->winId()));
    job.channelID = m_currentChannel.name;
    job.streamType = m_streamType;
    job.dateTime = dateTime;
    m_jobID = KViewHandler::instance()->addJob(job);
    m_linkTimer->start();
}

void KAbstractRecorderVideoView::showLink()
{
    // The surface the SDK made for the current stream (a stopped one's is renamed).
    const QWidget *surface =
        m_videoSurface->findChild<QWidget *>(QStringLiteral("sdkVideoSurface"));
    if (!surface) {
        m_linkLabel->clear();
        return;
    }
    const qint64 bitRate = surface->property("bitRate").toLongLong();
    const bool weak = surface->property("weakLink").toBool();
    const QString rate = KFormat::bitRateText(bitRate / 8) + QStringLiteral("/с");
    m_linkLabel->setText(weak ? QStringLiteral("слабый канал ") + rate : rate);
    m_linkLabel->setStyleSheet(QString::fromLatin1(weak ? weakLinkStyle : linkStyle));
}

void KAbstractRecorderVideoView::pause()
{
    if (m_jobID < 0)
        return;
    KViewHandler::instance()->pause(m_jobID);
    KAbstractVideoView::pause();
    m_snapshotButton->setEnabled(false);
}

void KAbstractRecorderVideoView::stop()
{
    if (m_jobID < 0)
        return;
    KViewHandler::instance()->quit(m_jobID);
    m_jobID = -1;
    m_linkTimer->stop();
    m_linkLabel->clear();
    m_linkLabel->setStyleSheet(QString::fromLatin1(linkStyle));
    KAbstractVideoView::stop();
    m_backgroundLabel->setText(QStringLiteral("Трансляция\nотключена"));
}

void KAbstractRecorderVideoView::setStreamType(int type)
{
    m_streamType = type;
    if (m_jobID >= 0)
        KViewHandler::instance()->setStreamType(m_jobID, type);
}

void KAbstractRecorderVideoView::setPlaybackSpeed(int speed)
{
    KAbstractVideoView::setPlaybackSpeed(speed);
    if (m_jobID >= 0)
        KViewHandler::instance()->setPlaybackSpeed(m_jobID, speed);
}

void KAbstractRecorderVideoView::setVolume(int value)
{
    m_volume = value;
    if (m_soundEnabled && m_jobID >= 0)
        KViewHandler::instance()->setVolume(m_jobID, value);
}

void KAbstractRecorderVideoView::setSoundEnabled(bool enable)
{
    KAbstractVideoView::setSoundEnabled(enable);
    if (m_jobID >= 0)
        KViewHandler::instance()->setVolume(m_jobID, enable ? m_volume : 0);
}

void KAbstractRecorderVideoView::takeSnapshot()
{
    if (!m_objectHandler)
        return;
    const QString folder =
        snapshotFolder(KSettings::instance()->localSnapshotsPath(), m_objectHandler->name());
    if (QDir().mkpath(folder)) {
        KViewHandler::instance()->takeSnapshot(m_jobID, folder);
    } else {
        auto *message = new KMessageWidget(2, QStringLiteral("Отсутствует целевая папка!"), this);
        message->setAttribute(Qt::WA_DeleteOnClose);
        message->show();
    }
}

void KAbstractRecorderVideoView::handleSnapshotTake(int jobID, bool success)
{
    if (jobID == m_jobID && m_jobID > 0)
        showSnapshotSaveResultMessage(success);
}

void KAbstractRecorderVideoView::paintEvent(QPaintEvent *event)
{
    const QSize area = m_backgroundLabel->size();
    QSize picture = m_currentChannel.size.isEmpty() ? area : m_currentChannel.size;
    picture.scale(area, Qt::KeepAspectRatio);
    const QRect geometry(area.width() / 2 - picture.width() / 2 + 1,
                         area.height() / 2 - picture.height() / 2 + 1, picture.width() - 2,
                         picture.height() - 2);
    if (m_videoSurface->geometry() != geometry)
        m_videoSurface->setGeometry(geometry);
    KAbstractVideoView::paintEvent(event);
}
