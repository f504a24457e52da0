#pragma once

#include "KGroupData.h"

#include <QMetaType>
#include <QString>

// The operator. Role 1 sees every object; any other role only the objects of its group.
class KUserData
{
public:
    KUserData();

    int kind = 0;
    int id = -1;
    int role = 4;
    QString login;
    QString password;
    KGroupData group;
};

Q_DECLARE_METATYPE(KUserData)
