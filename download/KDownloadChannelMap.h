#pragma once

#include "KPasCountSettingsData.h"

#include <QMap>
#include <QMetaType>
#include <QString>

// Channels of a download job: channel ID to its passenger-counting settings.
using KDownloadChannelMap = QMap<QString, KPasCountSettingsData>;

Q_DECLARE_METATYPE(KDownloadChannelMap)
