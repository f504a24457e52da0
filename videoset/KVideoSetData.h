#pragma once

#include "KChannelData.h"
#include "KVideoMarkerData.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QMetaType>
#include <QString>
#include <QStringList>

class QXmlStreamReader;

// One video set: a folder "<store>/<object name>/<yyyy.MM.dd_hh.mm.ss-hh.mm.ss>" holding one
// MP4 file per channel and the data file "user_data.xml" (channel numbers and titles, the
// operator's markers and comment). A plain value: files are read on construction and written
// only by writeDataFile().
class KVideoSetData
{
public:
    static const QString dataFileName;
    // A data file above this size is not read (a set holds tens of markers; a 50 MB file
    // would hold the scan for seconds) and is never replaced by one written without it.
    static constexpr qint64 maxDataFileSize = 1048576;
    // Ending of the folder a copy or cut is made in before it is renamed to the set's name;
    // such folders are no sets.
    static const QString workFolderSuffix;

    KVideoSetData();
    // Reads the data file of the folder, when there is one.
    explicit KVideoSetData(const QString &path);

    // The full reading of one set folder: data file, interval from the folder name, channel
    // files and object name.
    static KVideoSetData fromFolder(const QString &path);
    // fromFolder() for each path, read in parallel, in the order of paths.
    static QList<KVideoSetData> fromFolders(const QStringList &paths);
    // One record per subfolder of an object folder, in listing order.
    static QList<KVideoSetData> scanObjectFolder(const QString &path);
    // scanObjectFolder() for every object folder of a store root.
    static QList<KVideoSetData> scanStore(const QString &root);

    // The set folder's name for an interval: 2019.03.14_08.00.00-09.30.00.
    static QString folderName(const QDateTime &beginDateTime, const QDateTime &endDateTime);
    // The object's folder name: the object name as it stands, except that it can never lead
    // out of the store (separators become "_", a name of dots only or an empty one is
    // replaced).
    static QString objectFolderName(const QString &objectName);
    // Whether a file in a set folder is the set's: its channel files, their fragments and
    // snapshots (named after the channel), the data file and its temporary files.
    static bool belongsToSet(const QString &fileName);
    // The text with every character XML 1.0 cannot hold (control characters other than tab,
    // line feed and carriage return, lone surrogates, U+FFFE, U+FFFF) replaced by a space.
    static QString storableText(const QString &text);

    // Replaces "user_data.xml" in path with channels, markers and comment, atomically: the old
    // file stays whole until the new one is complete. False when it could not be written, or
    // when the record was read without its data file because it was too large.
    bool writeDataFile() const;

    bool valid = false;
    QString objectName;
    QDateTime beginDateTime;
    QDateTime endDateTime;
    QMap<QString, KChannelData> channels;
    QList<KVideoMarkerData> markers;
    QString comment;
    QString path;
    // The data file exists but was larger than maxDataFileSize and was not read.
    bool dataFileTooLarge = false;

private:
    void readDataFile();
    void readChannels(QXmlStreamReader &xml);
    void readMarkers(QXmlStreamReader &xml);
};

Q_DECLARE_METATYPE(KVideoSetData)
