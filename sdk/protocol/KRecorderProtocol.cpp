#include "KRecorderProtocol.h"

namespace KRecorderProtocol {

bool isKnownType(quint8 type)
{
    switch (type) {
    case Hello:
    case Login:
    case Activate:
    case Attach:
    case Logout:
    case GetConfig:
    case GetWorkState:
    case FindStart:
    case FindNext:
    case FindClose:
    case StreamOpen:
    case StreamControl:
    case Keepalive:
    case Ok:
    case LoginOk:
    case Config:
    case WorkState:
    case FindStarted:
    case FindBatch:
    case StreamOpened:
    case VideoFrame:
    case DownloadBegin:
    case Data:
    case StreamEnd:
    case Error:
        return true;
    default:
        return false;
    }
}

bool isRequestType(quint8 type)
{
    return (type >= Login && type <= FindClose) || type == StreamOpen || type == StreamControl ||
           type == Keepalive;
}

quint32 maxPayload(quint8 type)
{
    if (type == VideoFrame)
        return MaxVideoFramePayload;
    if (type == Data)
        return MaxDataPayload;
    return MaxSmallPayload;
}

} // namespace KRecorderProtocol
