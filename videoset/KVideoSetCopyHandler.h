#pragma once

#include "KVideoSetFileOperationHandler.h"

#include <QByteArray>

// Copies sets to another store in chunks of at most 1 MiB (in the kernel where it can). A file
// appears at its destination only when complete, so a cancelled or failed copy leaves no partial
// file (and an older copy there stays whole).
class KVideoSetCopyHandler : public KVideoSetFileOperationHandler
{
    Q_OBJECT

public:
    static constexpr int bufferSize = 1048576;

    explicit KVideoSetCopyHandler(const QList<KVideoSetPair> &pairs, QObject *parent = nullptr);

protected:
    int processFile(const QString &sourcePath, const QString &destinationPath) override;

private:
    QByteArray m_buffer;
};
