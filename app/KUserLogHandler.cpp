#include "KUserLogHandler.h"

KUserLogHandler *KUserLogHandler::instance()
{
    static KUserLogHandler handler;
    return &handler;
}

KUserLogHandler::KUserLogHandler() = default;

KUserLogHandler::~KUserLogHandler() = default;

void KUserLogHandler::write(int kind, const QString &text)
{
    // Operator actions are accepted and not recorded.
    Q_UNUSED(kind)
    Q_UNUSED(text)
}
