#pragma once

#include "KVideoSetFileOperationWidget.h"

#include <QTime>

class KVideoSetCutWidget : public KVideoSetFileOperationWidget
{
    Q_OBJECT

public:
    KVideoSetCutWidget(const QList<KVideoSetPair> &pairs, const QTime &startOffset,
                       const QTime &cutLength, QWidget *parent = nullptr);

    QTime startOffset() const { return m_startOffset; }
    QTime cutLength() const { return m_cutLength; }

signals:
    // The cut files are all there (before the success message).
    void completed();

protected:
    void succeeded() override;

private:
    QTime m_startOffset;
    QTime m_cutLength;
};
