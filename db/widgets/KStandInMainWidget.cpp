#include "KStandInMainWidget.h"

#include "KSettings.h"

#include <QLabel>
#include <QVBoxLayout>

KStandInMainWidget::KStandInMainWidget(QWidget *parent) : KToolWindow(parent)
{
    setObjectName(QStringLiteral("standInMainWidget"));
    setWindowModality(Qt::NonModal);
    KSettings *settings = KSettings::instance();
    setTitle(settings->brandTitle());

    auto *layout = new QVBoxLayout(contentWidget());
    layout->setContentsMargins(20, 20, 20, 20);
    auto *heading = new QLabel(settings->applicationName(), contentWidget());
    heading->setObjectName(QStringLiteral("titleLabel_L"));
    layout->addWidget(heading);
    auto *recorder = new QLabel(QStringLiteral("Регистратор: %1:%2, пользователь %3")
                                    .arg(settings->recorderHost())
                                    .arg(settings->recorderPort())
                                    .arg(settings->recorderLogin()),
                                contentWidget());
    recorder->setObjectName(QStringLiteral("recorderLabel"));
    recorder->setTextFormat(Qt::PlainText);
    layout->addWidget(recorder);
    layout->addStretch(1);
    resize(640, 360);
}

KStandInMainWidget::~KStandInMainWidget() = default;
