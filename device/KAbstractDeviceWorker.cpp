#include "KAbstractDeviceWorker.h"

KAbstractDeviceWorker::KAbstractDeviceWorker(KObjectHandler *object, QObject *parent)
    : KAbstractWorker(parent), m_object(object)
{}

KAbstractDeviceWorker::~KAbstractDeviceWorker() = default;
