#pragma once

#include "KVideoSetFileOperationHandler.h"

#include <QStringList>
#include <QTime>

// Makes a new set from a shorter interval of a set's channel files with ffmpeg (stream copy).
// The data file is skipped: the caller writes the new set's one afterwards. A cancelled or
// failed cut removes what it wrote, and the new set folder when it made it; the source is
// only read.
class KVideoSetCutHandler : public KVideoSetFileOperationHandler
{
    Q_OBJECT

public:
    // The time allowed per MiB of source, and at least this much in all.
    static constexpr qint64 timeoutPerMiB = 10000;
    static constexpr qint64 minimumTimeout = 30000;

    KVideoSetCutHandler(const QList<KVideoSetPair> &pairs, const QTime &startOffset,
                        const QTime &cutLength, QObject *parent = nullptr);

    // The new set's folder beside the source: its two times replaced by from and to.
    static QString cutFolderPath(const QString &sourcePath, const QTime &from, const QTime &to);
    // The span from one time of day to a later one, as a time from 00:00:00.
    static QTime span(const QTime &from, const QTime &to);
    static QStringList arguments(const QTime &startOffset, const QTime &cutLength,
                                 const QString &sourcePath, const QString &destinationPath);

    QString program() const { return m_program; }
    void setProgram(const QString &program) { m_program = program; }

signals:
    void completed(bool state);

protected:
    int processFile(const QString &sourcePath, const QString &destinationPath) override;
    void cleanUp() override;

private:
    QTime m_startOffset;
    QTime m_cutLength;
    QString m_program;
    QStringList m_writtenFiles;
    QStringList m_madeFolders;
};
