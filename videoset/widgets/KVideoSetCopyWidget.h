#pragma once

#include "KVideoSetFileOperationWidget.h"

class KVideoSetCopyWidget : public KVideoSetFileOperationWidget
{
    Q_OBJECT

public:
    explicit KVideoSetCopyWidget(const QList<KVideoSetPair> &pairs, QWidget *parent = nullptr);
};
