#include "KFullSizeVideoPlayerWidget.h"

#include <QKeyEvent>

KFullSizeVideoPlayerWidget::KFullSizeVideoPlayerWidget(QWidget *parent) : KToolWindow(parent)
{
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setWindowModality(Qt::NonModal);
}

KFullSizeVideoPlayerWidget::~KFullSizeVideoPlayerWidget() = default;

void KFullSizeVideoPlayerWidget::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    KToolWindow::keyPressEvent(event);
}
