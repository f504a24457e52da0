#pragma once

#include "KVideoSetFileOperationHandler.h"

// Deletes what belongs to each source set (KVideoSetData::belongsToSet: channel files, their
// fragments and snapshots, the data file) one file by one; a set folder left empty goes, and
// with it an object folder left without sets. Files of other kinds stay, and so does their
// folder. Links are removed as links: a linked set folder or file is never followed. The
// destinations are not used.
class KVideoSetDeleteHandler : public KVideoSetFileOperationHandler
{
    Q_OBJECT

public:
    explicit KVideoSetDeleteHandler(const QList<KVideoSetPair> &pairs, QObject *parent = nullptr);

protected:
    int processFile(const QString &sourcePath, const QString &destinationPath) override;
    bool acceptsPair(const KVideoSetPair &pair, QString *reason) const override;
    QList<FilePair> filesOf(const KVideoSetPair &pair) const override;
    bool workWithoutFiles(const KVideoSetPair &pair) const override;
    bool finishPair(const KVideoSetPair &pair) override;
};
