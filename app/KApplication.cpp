#include "KApplication.h"

#include "KMetaTypes.h"

#include <QCryptographicHash>

KApplication::KApplication(int &argc, char **argv, const QString &key)
    : QApplication(argc, argv), m_key(key),
      m_memLockKey(deriveKey(key, QStringLiteral("_memLockKey"))),
      m_sharedMemKey(deriveKey(key, QStringLiteral("_sharedMemKey"))), m_sharedMem(m_sharedMemKey),
      m_memLock(m_memLockKey, 1, QSystemSemaphore::Open)
{
    KMetaTypes::registerAll();

    // A segment left behind by a killed instance has no attachments; attaching and detaching
    // once removes it, while a live instance keeps its own attachment.
    m_memLock.acquire();
    {
        QSharedMemory probe(m_sharedMemKey);
        if (probe.attach())
            probe.detach();
    }
    m_memLock.release();
}

KApplication::~KApplication()
{
    release();
}

QString KApplication::deriveKey(const QString &key, const QString &suffix)
{
    const QByteArray data = key.toUtf8() + suffix.toUtf8();
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex());
}

bool KApplication::isAnotherRunning()
{
    if (m_sharedMem.isAttached())
        return false;
    m_memLock.acquire();
    const bool attached = m_sharedMem.attach();
    if (attached)
        m_sharedMem.detach();
    m_memLock.release();
    return attached;
}

bool KApplication::tryToRun()
{
    if (isAnotherRunning())
        return false;
    m_memLock.acquire();
    const bool created = m_sharedMem.create(8, QSharedMemory::ReadWrite);
    m_memLock.release();
    if (!created) {
        release();
        return false;
    }
    return true;
}

void KApplication::release()
{
    m_memLock.acquire();
    if (m_sharedMem.isAttached())
        m_sharedMem.detach();
    m_memLock.release();
}
