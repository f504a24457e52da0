#include "KAppLogHandler.h"

#include "KSettings.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QTextStream>
#include <QtDebug>

KAppLogHandler *KAppLogHandler::instance()
{
    static KAppLogHandler handler;
    return &handler;
}

KAppLogHandler::KAppLogHandler()
{
    // The path is fixed once: during shutdown the application object may be gone already.
    if (QCoreApplication::instance()) {
        const QString program = QCoreApplication::applicationFilePath();
        m_filePath = QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                     QFileInfo(program).baseName() + QStringLiteral("_log.txt");
    }
}

KAppLogHandler::~KAppLogHandler() = default;

QString KAppLogHandler::filePath() const
{
    QMutexLocker locker(&m_mutex);
    return m_filePath;
}

void KAppLogHandler::setFilePath(const QString &path)
{
    QMutexLocker locker(&m_mutex);
    m_filePath = path;
}

namespace {

QString timeStamp()
{
    return QLatin1Char('[') +
           QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")) +
           QStringLiteral("] ");
}

QString codeSuffix(int code)
{
    if (code == 0)
        return QString();
    return QStringLiteral(" [") + QString::number(code) + QLatin1Char(']');
}

} // namespace

void KAppLogHandler::write(const QString &message)
{
    if (QCoreApplication::closingDown())
        return;
    writeLine(timeStamp() + message);
}

void KAppLogHandler::write(const KObjectData &object, const QString &message, int code)
{
    if (QCoreApplication::closingDown())
        return;
    writeLine(timeStamp() + object.name + QStringLiteral(" (") + object.host +
              QStringLiteral(", ") + KSettings::recorderTypeName(object.recorder.type) +
              QStringLiteral("): ") + message + codeSuffix(code));
}

void KAppLogHandler::write(const KObjectData &object, const QString &context,
                           const QString &message, int code)
{
    if (QCoreApplication::closingDown())
        return;
    writeLine(timeStamp() + object.name + QStringLiteral(" (") + object.host +
              QStringLiteral(", ") + KSettings::recorderTypeName(object.recorder.type) +
              QStringLiteral(", ") + context + QStringLiteral("): ") + message + codeSuffix(code));
}

void KAppLogHandler::writeLine(const QString &line)
{
    const QByteArray bytes = line.toUtf8();
    {
        QMutexLocker locker(&m_mutex);
        QFile file(m_filePath);
        QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Text;
        // Past the limit the file starts anew; the old lines are discarded.
        if (file.exists() && file.size() >= maximumFileSize)
            mode |= QIODevice::Truncate;
        else
            mode |= QIODevice::Append;
        if (!m_filePath.isEmpty() && file.open(mode)) {
            QTextStream stream(&file);
            stream.setCodec("UTF-8");
            stream << QString::fromUtf8(bytes) << '\n';
            stream.flush();
            file.close();
        }
    }
    qDebug("--------> %s", bytes.constData());
}
