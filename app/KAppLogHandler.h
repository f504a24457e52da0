#pragma once

#include "KObjectData.h"

#include <QMutex>
#include <QObject>
#include <QString>

// The application log: one UTF-8 text file beside the program, "<program base name>_log.txt",
// emptied when it reaches 10 MiB. Every write opens, appends one line and closes the file.
// Safe to call from any thread; nothing is written once the application is closing down.
class KAppLogHandler : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 maximumFileSize = 10485760;

    static KAppLogHandler *instance();
    ~KAppLogHandler() override;

    // "[dd.MM.yyyy hh:mm:ss] message"
    void write(const QString &message);
    // "[ts] name (host, type): message [code]"; the code only when it is not 0.
    void write(const KObjectData &object, const QString &message, int code = 0);
    // "[ts] name (host, type, context): message [code]"; the code only when it is not 0.
    void write(const KObjectData &object, const QString &context, const QString &message, int code);

    QString filePath() const;
    // Another log file (a headless program writing the workstation's log); before the first
    // line is the safe moment.
    void setFilePath(const QString &path);

private:
    KAppLogHandler();
    void writeLine(const QString &line);

    // Guards m_filePath and serialises writers, so that no line is interleaved with another
    // or lost at truncation.
    mutable QMutex m_mutex;
    QString m_filePath;
};
