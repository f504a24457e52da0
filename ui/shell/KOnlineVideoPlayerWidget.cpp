#include "KOnlineVideoPlayerWidget.h"

#include "KObjectHandler.h"
#include "KUserLogHandler.h"

KOnlineVideoPlayerWidget::KOnlineVideoPlayerWidget(QWidget *parent) : KStandInPlayerWidget(parent)
{}

void KOnlineVideoPlayerWidget::play()
{
    if (!isPopulated())
        return;
    KStandInPlayerWidget::play();
    KUserLogHandler::instance()->write(0, QStringLiteral("Просмотр онлайн-трансляции"));
}
