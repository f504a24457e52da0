#include "KDiagnosticsWorker_Default.h"

KDiagnosticsWorker_Default::KDiagnosticsWorker_Default(KObjectHandler *object, QObject *parent)
    : KAbstractDiagnosticsWorker(object, parent)
{}

KDiagnosticsWorker_Default::~KDiagnosticsWorker_Default() = default;

void KDiagnosticsWorker_Default::checkRecorder() {}

void KDiagnosticsWorker_Default::checkStorage() {}

void KDiagnosticsWorker_Default::checkCameras() {}
