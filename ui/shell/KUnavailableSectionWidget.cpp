#include "KUnavailableSectionWidget.h"

#include <QLabel>
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
{}
