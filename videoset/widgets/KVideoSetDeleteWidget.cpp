#include "KVideoSetDeleteWidget.h"

#include "KVideoSetDeleteHandler.h"

KVideoSetDeleteWidget::KVideoSetDeleteWidget(const QList<KVideoSetPair> &pairs, QWidget *parent)
    : KVideoSetFileOperationWidget(
          new KVideoSetDeleteHandler(pairs),
          {QStringLiteral("Удаление видеофрагментов"), QStringLiteral("Удаление видеонаборов"),
           QStringLiteral("Удаление завершено!"), QStringLiteral("Не удалось удалить видеофайлы!")},
          parent)
{}
