#include "KChannelData.h"

KChannelData::KChannelData()
{
    static const bool registered = [] {
        qRegisterMetaType<KChannelData>("KChannelData");
        qRegisterMetaType<QList<KChannelData>>("QList<KChannelData>");
        qRegisterMetaType<QFileInfo>("QFileInfo");
        return true;
    }();
    Q_UNUSED(registered)
}
