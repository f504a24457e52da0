#include "KUnavailableSectionWidget.h"

#include "KObjectHandler.h"

#include <QLabel>
#include <QPointer>
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

KDownloadStandInWidget::KDownloadStandInWidget(QWidget *parent)
    : KUnavailableSectionWidget(QStringLiteral("Загрузка видеоархива"), parent)
{
    updateDetail();
}

void KDownloadStandInWidget::setObject(KObjectHandler *const objectHandler)
{
    if (objectHandler == m_object)
        return;
    if (m_object)
        disconnect(m_object, nullptr, this, nullptr);
    m_object = objectHandler;
    if (m_object) {
        connect(m_object, &QObject::destroyed, this, [this] {
            m_object = nullptr;
            updateDetail();
        });
    }
    updateDetail();
}

void KDownloadStandInWidget::setDateTime(QDateTime dateTime)
{
    m_dateTime = dateTime;
    updateDetail();
}

void KDownloadStandInWidget::updateDetail()
{
    QString text = m_object ? QStringLiteral("Объект: ") + m_object->name()
                            : QStringLiteral("Объект в/н не выбран");
    if (m_dateTime.isValid())
        text += QStringLiteral("\nВремя: ") +
                m_dateTime.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
    setDetail(text);
}

KVideoStandInWidget::KVideoStandInWidget(QWidget *parent)
    : KUnavailableSectionWidget(QStringLiteral("Видеоплеер"), parent)
{}
