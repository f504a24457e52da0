#include "KVideoSetData.h"

#include "KFolderName.h"

#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QThread>
#include <QThreadPool>
#include <QVector>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kFolderDateTimeFormat = QStringLiteral("yyyy.MM.dd_HH.mm.ss");
const QString kMarkerTimeFormat = QStringLiteral("hh:mm:ss");
// An object name may start with a dot (".._Автобус" from "../Автобус").
constexpr QDir::Filters kFolders = QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden;

bool isChannelFileName(const QString &baseName)
{
    return baseName.startsWith(QLatin1String("ACAM")) ||
           baseName.startsWith(QLatin1String("DCAM")) || baseName.startsWith(QLatin1String("CAM"));
}

// Reads on until the end element of the given name (or the end of a broken document).
bool nextInside(QXmlStreamReader &xml, const QString &element)
{
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement() && xml.name() == element)
            return false;
        if (xml.isStartElement())
            return true;
    }
    return false;
}

QString elementText(QXmlStreamReader &xml)
{
    return xml.readElementText(QXmlStreamReader::SkipChildElements);
}

// The folder name's date-time in the format above. The plain form is read directly: the
// general parser costs several local-time conversions per call, and there are two per set.
QDateTime folderDateTime(const QString &text)
{
    static const QString pattern = QStringLiteral("0000.00.00_00.00.00");
    bool plain = text.size() == pattern.size();
    for (int i = 0; plain && i < text.size(); ++i)
        plain = pattern.at(i) == QLatin1Char('0') ? uint(text.at(i).unicode() - '0') < 10u
                                                  : text.at(i) == pattern.at(i);
    if (plain) {
        const auto number = [&text](int from, int length) {
            return text.midRef(from, length).toInt();
        };
        const QDate date(number(0, 4), number(5, 2), number(8, 2));
        const QTime time(number(11, 2), number(14, 2), number(17, 2));
        const QDateTime dateTime(date, time);
        // A time that local time skips (or any doubt) goes the general way.
        if (date.isValid() && time.isValid() && dateTime.time() == time)
            return dateTime;
    }
    return QDateTime::fromString(text, kFolderDateTimeFormat);
}

QStringList subfolders(const QString &path)
{
    QStringList paths;
    for (const QFileInfo &folder : QDir(path).entryInfoList(kFolders))
        paths.append(folder.absoluteFilePath());
    return paths;
}

// The set folders of an object folder: a copy or cut still being made is none.
QStringList setFolders(const QString &objectPath)
{
    QStringList paths = subfolders(objectPath);
    paths.erase(std::remove_if(paths.begin(), paths.end(),
                               [](const QString &path) {
                                   return path.endsWith(KVideoSetData::workFolderSuffix);
                               }),
                paths.end());
    return paths;
}

} // namespace

const QString KVideoSetData::dataFileName = QStringLiteral("user_data.xml");
const QString KVideoSetData::workFolderSuffix = QStringLiteral(".partial");

KVideoSetData::KVideoSetData()
{
    static const bool registered = [] {
        qRegisterMetaType<KVideoSetData>("KVideoSetData");
        qRegisterMetaType<QList<KVideoSetData>>("QList<KVideoSetData>");
        return true;
    }();
    Q_UNUSED(registered)
}

KVideoSetData::KVideoSetData(const QString &path) : KVideoSetData()
{
    this->path = path;
    readDataFile();
    valid = true;
}

void KVideoSetData::readDataFile()
{
    // Plain calls: a store scan reads thousands of these small files, and QFile adds a look-up
    // and three status calls per file. A missing file simply fails to open.
    const int fd = ::open(QFile::encodeName(QDir(path).filePath(dataFileName)).constData(),
                          O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat status = {};
    if (::fstat(fd, &status) == 0 && status.st_size > maxDataFileSize) {
        ::close(fd);
        dataFileTooLarge = true;
        return;
    }
    QByteArray data;
    char block[16384];
    for (;;) {
        const ssize_t length = ::read(fd, block, sizeof block);
        if (length < 0 && errno == EINTR)
            continue;
        if (length <= 0)
            break;
        data.append(block, int(length));
    }
    ::close(fd);
    // A malformed or truncated file ends the reading with what was read so far.
    QXmlStreamReader xml(data);
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("channels"))
            readChannels(xml);
        else if (xml.name() == QLatin1String("markers"))
            readMarkers(xml);
        else if (xml.name() == QLatin1String("comment"))
            comment = elementText(xml);
    }
}

void KVideoSetData::readChannels(QXmlStreamReader &xml)
{
    const QString channelsElement = QStringLiteral("channels");
    const QString channelElement = QStringLiteral("channel");
    while (nextInside(xml, channelsElement)) {
        if (xml.name() != channelElement)
            continue;
        KChannelData channel;
        channel.channelNumber = xml.attributes().value(QLatin1String("index")).toInt();
        while (nextInside(xml, channelElement)) {
            if (xml.name() == QLatin1String("system_name"))
                channel.name = elementText(xml);
            else if (xml.name() == QLatin1String("custom_name"))
                channel.title = elementText(xml);
        }
        // Only a channel whose end was reached counts.
        if (xml.isEndElement() && xml.name() == channelElement) {
            channel.reported = 1;
            channel.available = 1;
            channels.insert(channel.name, channel);
        }
    }
}

void KVideoSetData::readMarkers(QXmlStreamReader &xml)
{
    const QString markersElement = QStringLiteral("markers");
    const QString markerElement = QStringLiteral("marker");
    while (nextInside(xml, markersElement)) {
        if (xml.name() != markerElement)
            continue;
        KVideoMarkerData marker;
        marker.time = QTime::fromString(xml.attributes().value(QLatin1String("time")).toString(),
                                        kMarkerTimeFormat);
        while (nextInside(xml, markerElement)) {
            if (xml.name() == QLatin1String("text"))
                marker.text = elementText(xml);
        }
        if (xml.isEndElement() && xml.name() == markerElement)
            markers.append(marker);
    }
}

KVideoSetData KVideoSetData::fromFolder(const QString &path)
{
    KVideoSetData set(path);
    const QFileInfo folder(QDir::cleanPath(path));
    const QString name = folder.fileName();
    set.beginDateTime = folderDateTime(name.left(19));
    set.endDateTime = folderDateTime(name.left(11) + name.right(8));

    QMap<QString, KChannelData> found;
    int number = 0;
    // Listed and sorted by hand: a name filter would build a regular expression per folder.
    QFileInfoList files;
    for (QDirIterator it(path, QDir::Files); it.hasNext();) {
        it.next();
        if (it.fileName().endsWith(QLatin1String(".mp4"), Qt::CaseInsensitive))
            files.append(it.fileInfo());
    }
    std::sort(files.begin(), files.end(), [](const QFileInfo &a, const QFileInfo &b) {
        const int order = a.fileName().compare(b.fileName(), Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a.fileName() < b.fileName();
    });
    for (const QFileInfo &file : files) {
        const QString baseName = file.baseName();
        // A fragment being fetched ("ACAM01_PART001_TEMP.mp4") is no channel of the set.
        if (!isChannelFileName(baseName) || baseName.contains(QLatin1String("_PART")))
            continue;
        KChannelData channel = set.channels.value(baseName);
        if (!set.channels.contains(baseName) || channel.reported == 0) {
            channel = KChannelData();
            channel.reported = 1;
            channel.name = baseName;
            channel.available = 1;
            channel.channelNumber = number++;
        }
        channel.file = file;
        found.insert(baseName, channel);
    }
    set.channels = found;
    set.objectName = folder.absoluteDir().dirName();
    set.valid = true;
    return set;
}

QList<KVideoSetData> KVideoSetData::fromFolders(const QStringList &paths)
{
    // Reading a set is mostly system calls, so the folders are shared out over a few threads;
    // the calling thread takes part and the order stays that of paths.
    QVector<KVideoSetData> sets(paths.size());
    KVideoSetData *const out = sets.data();
    std::atomic<int> next{0}; // hands each folder to exactly one thread
    const auto read = [&] {
        for (int i = next++; i < paths.size(); i = next++) {
            out[i] = fromFolder(paths.at(i));
            // Read the sizes here, on the pool: the table's sum then finds them cached.
            for (const KChannelData &channel : qAsConst(out[i].channels))
                channel.file.size();
        }
    };
    QThreadPool pool;
    const int threads = qBound(1, QThread::idealThreadCount(), 8);
    for (int t = 1; t < qMin(threads, paths.size()); ++t)
        pool.start(read);
    read();
    pool.waitForDone();
    return sets.toList();
}

QList<KVideoSetData> KVideoSetData::scanObjectFolder(const QString &path)
{
    return fromFolders(setFolders(path));
}

QList<KVideoSetData> KVideoSetData::scanStore(const QString &root)
{
    QStringList paths;
    for (const QString &object : subfolders(root))
        paths.append(setFolders(object));
    return fromFolders(paths);
}

QString KVideoSetData::folderName(const QDateTime &beginDateTime, const QDateTime &endDateTime)
{
    return beginDateTime.toString(QStringLiteral("yyyy.MM.dd")) + QLatin1Char('_') +
           beginDateTime.toString(QStringLiteral("hh.mm.ss")) + QLatin1Char('-') +
           endDateTime.toString(QStringLiteral("hh.mm.ss"));
}

QString KVideoSetData::objectFolderName(const QString &objectName)
{
    return KFolderName::forObject(objectName);
}

bool KVideoSetData::belongsToSet(const QString &fileName)
{
    return isChannelFileName(fileName) || fileName.startsWith(dataFileName);
}

QString KVideoSetData::storableText(const QString &text)
{
    QString result = text;
    for (int i = 0; i < result.size(); ++i) {
        const QChar c = result.at(i);
        const ushort u = c.unicode();
        bool storable = u >= 0x20 || u == 0x09 || u == 0x0a || u == 0x0d;
        if (c.isHighSurrogate() && i + 1 < result.size() && result.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate() || u == 0xfffe || u == 0xffff)
            storable = false;
        if (!storable)
            result[i] = QLatin1Char(' ');
    }
    return result;
}

bool KVideoSetData::writeDataFile() const
{
    if (path.isEmpty()) {
        qDebug("writeDataFile() invalid path!");
        return false;
    }
    // What this record never read must not be replaced by what it holds.
    if (dataFileTooLarge)
        return false;
    // Written beside the old file and put in its place only when complete.
    QSaveFile file(QDir(path).filePath(dataFileName));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QXmlStreamWriter xml(&file);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("user_data"));
    xml.writeStartElement(QStringLiteral("channels"));
    for (const KChannelData &channel : channels) {
        xml.writeStartElement(QStringLiteral("channel"));
        xml.writeAttribute(QStringLiteral("index"), QString::number(channel.channelNumber));
        xml.writeTextElement(QStringLiteral("system_name"), storableText(channel.name));
        xml.writeTextElement(QStringLiteral("custom_name"), storableText(channel.title));
        xml.writeEndElement();
    }
    xml.writeEndElement();
    if (!markers.isEmpty()) {
        xml.writeStartElement(QStringLiteral("markers"));
        for (const KVideoMarkerData &marker : markers) {
            xml.writeStartElement(QStringLiteral("marker"));
            xml.writeAttribute(QStringLiteral("time"), marker.time.toString(kMarkerTimeFormat));
            xml.writeTextElement(QStringLiteral("text"), storableText(marker.text));
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    if (!comment.isEmpty())
        xml.writeTextElement(QStringLiteral("comment"), storableText(comment));
    xml.writeEndElement();
    xml.writeEndDocument();
    if (xml.hasError()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
