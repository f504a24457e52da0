#pragma once

#include <QMetaType>
#include <QString>

// A group of objects.
class KGroupData
{
public:
    KGroupData();

    int kind = 0;
    int id = -1;
    QString name;
};

Q_DECLARE_METATYPE(KGroupData)
