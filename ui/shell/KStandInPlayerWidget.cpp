#include "KStandInPlayerWidget.h"

#include "KConnectionStateStyle.h"
#include "KObjectHandler.h"
#include "KSettings.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QPushButton *makeButton(const QString &iconName, const QString &toolTip)
{
    auto *button = new QPushButton;
    button->setFixedSize(35, 35);
    QIcon icon;
    icon.addFile(QStringLiteral(":/") + iconName + QStringLiteral(".png"), QSize(), QIcon::Normal);
    icon.addFile(QStringLiteral(":/") + iconName + QStringLiteral("_d.png"), QSize(),
                 QIcon::Disabled);
    button->setIcon(icon);
    button->setIconSize(QSize(35, 35));
    button->setToolTip(toolTip);
    return button;
}

// Columns of the tile grid for a channel count, as the video grid arranges its windows.
int columnsFor(int count)
{
    if (count <= 1)
        return 1;
    if (count <= 4)
        return 2;
    if (count <= 6)
        return 3;
    if (count <= 16)
        return 4;
    if (count <= 24)
        return 6;
    return 8;
}
} // namespace

KStandInPlayerWidget::KStandInPlayerWidget(QWidget *parent) : QWidget(parent)
{
    m_titleLabel = new QLabel(QStringLiteral("Объект в/н не выбран"));
    m_titleLabel->setObjectName(QStringLiteral("titleLabel_S"));
    m_titleLabel->setFixedHeight(22);
    m_stateLabel = new QLabel;
    m_stateLabel->setFixedHeight(22);

    auto *topRow = new QHBoxLayout;
    topRow->setContentsMargins(0, 0, 0, 0);
    topRow->addWidget(m_titleLabel);
    topRow->addStretch();
    topRow->addWidget(m_stateLabel);

    m_playButton =
        makeButton(QStringLiteral("play"), QStringLiteral("Запуск трансляции\nвсех каналов"));
    m_stopButton =
        makeButton(QStringLiteral("stop"), QStringLiteral("Останов трансляции\nвсех каналов"));
    connect(m_playButton, &QPushButton::clicked, this, [this] { play(); });
    connect(m_stopButton, &QPushButton::clicked, this, [this] { stop(); });

    m_controlsRow = new QWidget;
    auto *controls = new QHBoxLayout(m_controlsRow);
    controls->setContentsMargins(0, 0, 0, 0);
    controls->addWidget(m_playButton);
    controls->addWidget(m_stopButton);
    auto *separator = new QFrame;
    separator->setFrameShape(QFrame::VLine);
    controls->addWidget(separator);
    controls->addStretch();

    m_tileArea = new QWidget;
    m_tileLayout = new QGridLayout(m_tileArea);
    m_tileLayout->setContentsMargins(0, 0, 0, 0);
    m_tileLayout->setSpacing(0);

    m_noteLabel = new QLabel(QStringLiteral("Вывод видео в этой версии недоступен: показаны "
                                            "каналы видеорегистратора и состояние связи."));
    m_noteLabel->setStyleSheet(QStringLiteral("font: 8pt;"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(5, 5, 5, 5);
    layout->addLayout(topRow);
    layout->addWidget(m_tileArea, 1);
    layout->addWidget(m_controlsRow);
    layout->addWidget(m_noteLabel);

    clearTiles();
    KStandInPlayerWidget::setControlsEnabled(false);
}

KStandInPlayerWidget::~KStandInPlayerWidget()
{
    if (m_object && m_object->recorderType() != 0)
        m_object->requireConnection(false);
}

void KStandInPlayerWidget::setObject(KObjectHandler *const objectHandler)
{
    if (objectHandler == m_object)
        return;
    takeObject(objectHandler);
    objectChanged();
}

void KStandInPlayerWidget::takeObject(KObjectHandler *const objectHandler)
{
    if (m_playbackState != 2)
        stop();
    clearTiles();
    setControlsEnabled(false);

    if (m_object) {
        // Only objects with a known recorder type were asked for a connection.
        if (m_object->recorderType() != 0)
            m_object->requireConnection(false);
        disconnect(m_object, nullptr, this, nullptr);
    }
    m_object = objectHandler;
    m_populated = false;
    if (!m_object) {
        m_titleLabel->setText(QStringLiteral("Объект в/н не выбран"));
        m_stateLabel->clear();
        return;
    }
    const KObjectData record = m_object->record();
    m_titleLabel->setText(record.name);
    connect(m_object, &QObject::destroyed, this, [this] {
        m_object = nullptr;
        m_populated = false;
    });
    connect(m_object, &KObjectHandler::connectionStateChanged, this,
            &KStandInPlayerWidget::updateConnectionText);
    updateConnectionText();
    if (record.recorder.type == 0)
        return;
    m_object->requireConnection(true);
    connect(m_object, &KObjectHandler::connectionStateChanged, this,
            &KStandInPlayerWidget::populate);
    populate();
}

void KStandInPlayerWidget::addBottomWidget(QWidget *widget)
{
    auto *column = static_cast<QVBoxLayout *>(layout());
    column->insertWidget(column->indexOf(m_controlsRow) + 1, widget);
}

void KStandInPlayerWidget::play()
{
    if (!m_populated)
        return;
    m_playButton->setEnabled(false);
    m_stopButton->setEnabled(true);
    setPlaybackState(0);
}

void KStandInPlayerWidget::pause()
{
    if (!m_populated)
        return;
    m_playButton->setEnabled(true);
    m_stopButton->setEnabled(true);
    setPlaybackState(1);
}

void KStandInPlayerWidget::stop()
{
    m_playButton->setEnabled(m_populated);
    m_stopButton->setEnabled(false);
    setPlaybackState(2);
}

void KStandInPlayerWidget::setPlaybackState(int state)
{
    m_playbackState = state;
    emit playbackStateChanged(state);
}

void KStandInPlayerWidget::setControlsEnabled(bool enabled)
{
    m_tileArea->setEnabled(enabled);
    m_playButton->setEnabled(enabled && m_playbackState != 0);
    m_stopButton->setEnabled(enabled && m_playbackState == 0);
}

void KStandInPlayerWidget::populate()
{
    if (!m_object || m_populated)
        return;
    const KObjectData record = m_object->record();
    if (record.connection.state != 2)
        return;

    QString title = record.name;
    if (KSettings::instance()->currentUser().role == 1)
        title += QStringLiteral(" [") + record.group.name + QStringLiteral("]");
    m_titleLabel->setText(title);

    clearTiles();
    QList<KChannelData> channels;
    for (const KChannelData &channel : record.recorder.channels) {
        if (channel.available)
            channels.append(channel);
    }
    if (channels.isEmpty()) {
        m_populated = true;
        emit populated();
        return;
    }
    // Drop the empty placeholder tile before laying the channels out.
    for (QLabel *tile : qAsConst(m_tiles))
        delete tile;
    m_tiles.clear();
    const int columns = columnsFor(channels.size());
    for (int i = 0; i < channels.size(); ++i) {
        const KChannelData &channel = channels.at(i);
        QString text =
            QStringLiteral("<b>") + channel.name.toHtmlEscaped() + QStringLiteral("</b>");
        if (!channel.title.isEmpty())
            text += QStringLiteral("<br>") + channel.title.toHtmlEscaped();
        auto *tile = new QLabel(text);
        tile->setObjectName(QStringLiteral("videoView"));
        tile->setAlignment(Qt::AlignCenter);
        tile->setTextFormat(Qt::RichText);
        tile->setMinimumSize(80, 60);
        tile->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        m_tileLayout->addWidget(tile, i / columns, i % columns);
        m_tiles.append(tile);
        m_channelIDs.append(channel.name);
    }
    m_populated = true;
    m_playbackState = 2;
    setControlsEnabled(true);
    emit populated();
}

void KStandInPlayerWidget::updateConnectionText()
{
    if (!m_object) {
        m_stateLabel->clear();
        return;
    }
    const KConnectionData connection = m_object->connection();
    const QColor colour = KConnectionStateStyle::colour(connection.state);
    m_stateLabel->setText(
        QStringLiteral("<span style=\"color:%1;\">&#9679;</span> %2")
            .arg(colour.darker(130).name(), KConnectionStateStyle::text(connection.state)));
    m_stateLabel->setToolTip(KConnectionStateStyle::details(connection));
}

void KStandInPlayerWidget::clearTiles()
{
    for (QLabel *tile : qAsConst(m_tiles))
        delete tile;
    m_tiles.clear();
    m_channelIDs.clear();
    // One dark cell keeps the page's shape while there is nothing to show.
    auto *empty = new QLabel;
    empty->setObjectName(QStringLiteral("videoView"));
    empty->setEnabled(false);
    empty->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_tileLayout->addWidget(empty, 0, 0);
    m_tiles.append(empty);
}
