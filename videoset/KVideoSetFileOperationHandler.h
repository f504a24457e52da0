#pragma once

#include "KVideoSetData.h"

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

#include <atomic>

using KVideoSetPair = QPair<KVideoSetData, KVideoSetData>;

// Walks a list of (source set, destination set) pairs file by file (the source's files of the
// channels the destination lists, then the data file) and reports progress in bytes. Lives in
// a thread of its own: start() runs there, stop() is called directly from the user-interface
// thread.
class KVideoSetFileOperationHandler : public QObject
{
    Q_OBJECT

public:
    enum FileResult { Done = 0, Cancelled = 1, Failed = 2 };
    using FilePair = QPair<QString, QString>;

    explicit KVideoSetFileOperationHandler(const QList<KVideoSetPair> &pairs,
                                           QObject *parent = nullptr);

    QList<KVideoSetPair> pairs() const { return m_pairs; }
    bool isRunning() const { return m_running; }
    qint64 bytesDone() const { return m_bytesDone; }

    // The name shown for a file: "/<set folder>/<file>".
    static QString displayName(const QString &path);
    // Whether the path itself is a symbolic link (not followed).
    static bool isLink(const QString &path);
    // Renames a folder unless the new name exists already; false (nothing changed) otherwise.
    static bool renameFolder(const QString &from, const QString &to);

signals:
    void progressStagesCountChanged(qint64 count);
    void progressStageCompleted(qint64 stage);
    void started(const QString &file);
    void completed();
    void cancelled();
    // Sent before error() when the operation knows why it failed (a Russian text).
    void failed(const QString &reason);
    void error();

public slots:
    void start();
    void stop();

protected:
    virtual int processFile(const QString &sourcePath, const QString &destinationPath) = 0;
    // Whether a pair may be processed at all; by default a set never goes onto itself. A
    // refusal may say why in *reason.
    virtual bool acceptsPair(const KVideoSetPair &pair, QString *reason) const;
    // The (source, destination) files of a pair; by default the source's files of the channels
    // the destination lists, then the data file, into the folder targetFolder() names.
    virtual QList<FilePair> filesOf(const KVideoSetPair &pair) const;
    // Where filesOf() puts a pair's files; by default the destination set's folder.
    virtual QString targetFolder(const KVideoSetPair &pair) const;
    // A pair with no files to process still has work (a delete of a set without files).
    virtual bool workWithoutFiles(const KVideoSetPair &) const { return false; }
    // Before a pair's first file and after its last one, in the handler's thread; a failure
    // ends the operation (with a reason through setReason()).
    virtual bool beginPair(const KVideoSetPair &) { return true; }
    virtual bool finishPair(const KVideoSetPair &) { return true; }
    // Called once when the operation ends cancelled or failed, in the handler's thread.
    virtual void cleanUp() {}
    void addBytesDone(qint64 bytes);
    // The reason sent with the coming failure.
    void setReason(const QString &reason) { m_reason = reason; }

private:
    void fail();

    QList<KVideoSetPair> m_pairs;
    // Cleared from the user-interface thread while the handler's thread polls it.
    std::atomic<bool> m_running{false};
    qint64 m_bytesDone = 0;
    QString m_reason;
};
