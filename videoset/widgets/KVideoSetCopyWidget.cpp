#include "KVideoSetCopyWidget.h"

#include "KVideoSetCopyHandler.h"

KVideoSetCopyWidget::KVideoSetCopyWidget(const QList<KVideoSetPair> &pairs, QWidget *parent)
    : KVideoSetFileOperationWidget(new KVideoSetCopyHandler(pairs),
                                   {QStringLiteral("Загрузка видеофрагментов"),
                                    QStringLiteral("Загрузка видеонаборов"),
                                    QStringLiteral("Загрузка завершена!"),
                                    QStringLiteral("Не удалось загрузить видеонаборы!")},
                                   parent)
{}
