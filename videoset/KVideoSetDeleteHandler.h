#pragma once

#include "KVideoSetFileOperationHandler.h"

// Deletes the files of the source sets one by one; a set folder left without files goes, and
// with it an object folder left without sets. The destinations are not used.
class KVideoSetDeleteHandler : public KVideoSetFileOperationHandler
{
    Q_OBJECT

public:
    explicit KVideoSetDeleteHandler(const QList<KVideoSetPair> &pairs, QObject *parent = nullptr);

protected:
    int processFile(const QString &sourcePath, const QString &destinationPath) override;
    bool acceptsPair(const KVideoSetPair &) const override { return true; }
};
