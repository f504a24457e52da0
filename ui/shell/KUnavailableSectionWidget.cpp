#include "KUnavailableSectionWidget.h"

#include "KSettings.h"
#include "KVideoTableWidget.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

KUnavailableSectionWidget::KUnavailableSectionWidget(const QString &section, QWidget *parent)
    : QWidget(parent), m_section(section)
{
    auto *sectionLabel = new QLabel(section);
    sectionLabel->setObjectName(QStringLiteral("titleLabel_L"));
    sectionLabel->setAlignment(Qt::AlignCenter);
    m_messageLabel = new QLabel(QStringLiteral("Раздел в разработке"));
    m_messageLabel->setObjectName(QStringLiteral("titleLabel_S"));
    m_messageLabel->setAlignment(Qt::AlignCenter);
    m_detailLabel = new QLabel;
    m_detailLabel->setAlignment(Qt::AlignCenter);
    m_detailLabel->setWordWrap(true);

    auto *layout = new QVBoxLayout(this);
    layout->addStretch();
    layout->addWidget(sectionLabel);
    layout->addSpacing(10);
    layout->addWidget(m_messageLabel);
    layout->addWidget(m_detailLabel);
    layout->addStretch();
}

void KUnavailableSectionWidget::setDetail(const QString &text)
{
    m_detailLabel->setText(text);
}

KVideoStandInWidget::KVideoStandInWidget(QWidget *parent)
    : KUnavailableSectionWidget(QStringLiteral("Видеоплеер"), parent)
{
    QIcon icon(QStringLiteral(":/openvideoset.png"));
    icon.addFile(QStringLiteral(":/openvideoset_d.png"), QSize(), QIcon::Disabled);
    m_openButton = new QPushButton(icon, QStringLiteral("Открыть набор"), this);
    m_openButton->setFixedSize(125, 22);
    m_openButton->setStyleSheet(QStringLiteral("text-align: left;"));
    m_openButton->setToolTip(QStringLiteral("Открыть набор (Ctrl+O)"));
    m_openButton->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(m_openButton, &QPushButton::clicked, this, &KVideoStandInWidget::openVideoTableWindow);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_openButton);
    buttons->addStretch();
    static_cast<QVBoxLayout *>(layout())->insertLayout(0, buttons);
    setDetail(QStringLiteral("Нет открытого набора видеофайлов"));
}

void KVideoStandInWidget::openVideoTableWindow()
{
    if (!m_videoTable) {
        m_videoTable = new KVideoTableWidget(this);
        connect(m_videoTable, &KVideoTableWidget::videoSelected, this,
                &KVideoStandInWidget::showSet);
    }
    m_videoTable->refreshFiles();
    m_videoTable->resize(KSettings::instance()->windowRect().size());
    m_videoTable->show();
}

void KVideoStandInWidget::showSet(const KVideoSetData &videoSetData)
{
    setDetail(
        videoSetData.objectName + QStringLiteral(": ") +
        videoSetData.beginDateTime.toString(QStringLiteral("yyyy.MM.dd")) + QStringLiteral(", ") +
        videoSetData.beginDateTime.toString(QStringLiteral("HH:mm:ss")) + QStringLiteral(" - ") +
        videoSetData.endDateTime.toString(QStringLiteral("HH:mm:ss")));
    emit videoSelected(videoSetData);
}
