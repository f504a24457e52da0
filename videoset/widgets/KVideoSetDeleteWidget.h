#pragma once

#include "KVideoSetFileOperationWidget.h"

class KVideoSetDeleteWidget : public KVideoSetFileOperationWidget
{
    Q_OBJECT

public:
    explicit KVideoSetDeleteWidget(const QList<KVideoSetPair> &pairs, QWidget *parent = nullptr);
};
