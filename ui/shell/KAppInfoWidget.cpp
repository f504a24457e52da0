#include "KAppInfoWidget.h"

#include "KSettings.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

KAppInfoWidget::KAppInfoWidget(QWidget *parent) : KToolWindow(parent)
{
    KSettings *settings = KSettings::instance();
    setTitle(QStringLiteral("О программе"));
    setFixedWidth(350);

    auto *iconLabel = new QLabel;
    iconLabel->setFixedSize(50, 50);
    iconLabel->setPixmap(QIcon(settings->iconPath()).pixmap(50, 50));

    auto *nameLabel = new QLabel(settings->applicationName());
    nameLabel->setObjectName(QStringLiteral("titleLabel_L"));

    auto *versionLabel = new QLabel(QStringLiteral("v") + settings->applicationVersion());
    versionLabel->setStyleSheet(QStringLiteral("font: 8pt;"));

    auto *contactLabel = new QLabel(QStringLiteral("%1\n"
                                                   "Служба поддержки: support@tarnwick.example\n"
                                                   "Телефон: +7 (812) 000-00-00\n"
                                                   "© 2019 Tarnwick")
                                        .arg(settings->brandTitle()));
    contactLabel->setStyleSheet(QStringLiteral("font: 8pt;"));
    contactLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *textLayout = new QVBoxLayout;
    textLayout->setSpacing(2);
    textLayout->addWidget(nameLabel);
    textLayout->addWidget(versionLabel);
    textLayout->addSpacing(8);
    textLayout->addWidget(contactLabel);

    auto *topLayout = new QHBoxLayout;
    topLayout->setSpacing(15);
    topLayout->addWidget(iconLabel, 0, Qt::AlignTop);
    topLayout->addLayout(textLayout, 1);

    m_closeWindowButton = new QPushButton(QStringLiteral("Закрыть"));
    m_closeWindowButton->setFixedWidth(100);
    connect(m_closeWindowButton, &QPushButton::clicked, this, &KAppInfoWidget::close);

    auto *buttonLayout = new QHBoxLayout;
    buttonLayout->addStretch();
    buttonLayout->addWidget(m_closeWindowButton);

    auto *layout = new QVBoxLayout(contentWidget());
    layout->setContentsMargins(15, 15, 15, 15);
    layout->setSpacing(15);
    layout->addLayout(topLayout);
    layout->addLayout(buttonLayout);
}
