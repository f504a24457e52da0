#include "KRecorderData.h"

namespace {

// Built once; every new record shares this map until it changes its own copy.
QMap<QString, KChannelData> defaultChannelMap()
{
    QMap<QString, KChannelData> map;
    const struct
    {
        const char *prefix;
        int kind;
    } groups[] = {{"ACAM", 0}, {"DCAM", 1}};
    for (const auto &group : groups) {
        for (int i = 1; i <= 32; ++i) {
            KChannelData channel;
            channel.kind = group.kind;
            channel.name =
                QLatin1String(group.prefix) + QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0'));
            map.insert(channel.name, channel);
        }
    }
    return map;
}

} // namespace

KRecorderData::KRecorderData()
{
    static const int typeId = qRegisterMetaType<KRecorderData>("KRecorderData");
    Q_UNUSED(typeId)
    static const QMap<QString, KChannelData> initialChannels = defaultChannelMap();
    channels = initialChannels;
}
