#pragma once

#include "KVideoSetFileOperationHandler.h"

#include <QByteArray>

// Copies sets to another store in chunks of at most 1 MiB (in the kernel where it can). Each
// set is copied into a work folder beside its destination and renamed to the set's name only
// when every file is there, so a failed or cancelled copy leaves no half set. A set already at
// the destination gets the copied files, and keeps its markers and comment (the source's are
// added: markers it lacks, the comment when it has none).
class KVideoSetCopyHandler : public KVideoSetFileOperationHandler
{
    Q_OBJECT

public:
    static constexpr int bufferSize = 1048576;

    explicit KVideoSetCopyHandler(const QList<KVideoSetPair> &pairs, QObject *parent = nullptr);

    // The data of a set at the destination with the source's added.
    static KVideoSetData merged(const KVideoSetData &destination, const KVideoSetData &source);

protected:
    int processFile(const QString &sourcePath, const QString &destinationPath) override;
    bool acceptsPair(const KVideoSetPair &pair, QString *reason) const override;
    QString targetFolder(const KVideoSetPair &pair) const override;
    bool beginPair(const KVideoSetPair &pair) override;
    bool finishPair(const KVideoSetPair &pair) override;
    void cleanUp() override;

private:
    bool mergeInto(const QString &destinationPath);

    QByteArray m_buffer;
    // The current pair's work folder and the object folder made for it, until it is done.
    QString m_workFolder;
    QString m_madeObjectFolder;
};
