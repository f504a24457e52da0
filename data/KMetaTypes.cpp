#include "KMetaTypes.h"

#include "KAlarmData.h"
#include "KAutodownloadTaskData.h"
#include "KObjectData.h"
#include "KPasCountSettingsData.h"
#include "KUserData.h"

#include <QFileInfo>
#include <QList>

void KMetaTypes::registerAll()
{
    // Each default constructor registers its own type.
    KObjectData object;
    KUserData user;
    KAlarmData alarm;
    KAutodownloadTaskData task;
    KPasCountSettingsData counter;
    qRegisterMetaType<QList<bool>>("QList<bool>");
    qRegisterMetaType<QList<KChannelData>>("QList<KChannelData>");
    qRegisterMetaType<QFileInfo>("QFileInfo");
}
