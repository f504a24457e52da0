#include "KVideoSetCutWidget.h"

#include "KVideoSetCutHandler.h"

KVideoSetCutWidget::KVideoSetCutWidget(const QList<KVideoSetPair> &pairs, const QTime &startOffset,
                                       const QTime &cutLength, QWidget *parent)
    : KVideoSetFileOperationWidget(
          new KVideoSetCutHandler(pairs, startOffset, cutLength),
          {QStringLiteral("Обрезка видеофрагментов"), QStringLiteral("Обрезка видеонаборов"),
           QStringLiteral("Обрезка завершена!"), QStringLiteral("Не удалось обрезать видеофайлы!")},
          parent),
      m_startOffset(startOffset), m_cutLength(cutLength)
{}

void KVideoSetCutWidget::succeeded()
{
    emit completed();
}
