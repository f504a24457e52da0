#pragma once

#include "KVideoSetFileOperationHandler.h"

#include <QStringList>
#include <QTime>

// Makes a new set from a shorter interval of a set's channel files with ffmpeg (stream copy).
// The set is made in a work folder beside the source: every cut file is checked (it reads to
// its end and spans the cut, or what the source holds of it), the data file is written (the
// channels keep their numbers and titles, no markers, no comment), and only then is the folder
// renamed to the set's name. A set of that name is never touched: a cut onto it is refused. A
// cancelled or failed cut leaves nothing behind; the source is only read.
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
    bool acceptsPair(const KVideoSetPair &pair, QString *reason) const override;
    QList<FilePair> filesOf(const KVideoSetPair &pair) const override;
    QString targetFolder(const KVideoSetPair &pair) const override;
    bool beginPair(const KVideoSetPair &pair) override;
    bool finishPair(const KVideoSetPair &pair) override;
    void cleanUp() override;

private:
    // The seconds a cut file must span: the cut's length, or less where the source ends first.
    double expectedSeconds(const QString &sourcePath) const;

    QTime m_startOffset;
    QTime m_cutLength;
    QString m_program;
    // The current pair's work folder until it becomes the set.
    QString m_workFolder;
};
