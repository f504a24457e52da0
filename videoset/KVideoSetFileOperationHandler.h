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

    explicit KVideoSetFileOperationHandler(const QList<KVideoSetPair> &pairs,
                                           QObject *parent = nullptr);

    QList<KVideoSetPair> pairs() const { return m_pairs; }
    bool isRunning() const { return m_running; }
    qint64 bytesDone() const { return m_bytesDone; }

    // The name shown for a file: "/<set folder>/<file>".
    static QString displayName(const QString &path);

signals:
    void progressStagesCountChanged(qint64 count);
    void progressStageCompleted(qint64 stage);
    void started(const QString &file);
    void completed();
    void cancelled();
    void error();

public slots:
    void start();
    void stop();

protected:
    virtual int processFile(const QString &sourcePath, const QString &destinationPath) = 0;
    // Called once when the operation ends cancelled or failed, in the handler's thread.
    virtual void cleanUp() {}
    // Whether a pair may be processed at all; by default a set never goes onto itself.
    virtual bool acceptsPair(const KVideoSetPair &pair) const;
    void addBytesDone(qint64 bytes);

private:
    QList<KVideoSetPair> m_pairs;
    // Cleared from the user-interface thread while the handler's thread polls it.
    std::atomic<bool> m_running{false};
    qint64 m_bytesDone = 0;
};
