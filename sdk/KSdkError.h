#pragma once

#include "HCNetSDK.h"

#include <QtGlobal>

// Errors have two sources: the SDK's own (link, arguments, local files) and the code of a
// recorder's Error frame. Inside the SDK a recorder's code carries RecorderFlag, so that it is
// never taken for one of ours: a recorder's "Error 9" is its word, not a broken connection.
namespace KSdkError {

constexpr int RecorderFlag = 0x40000000;

// The internal value of a recorder's code (codes above the flag are cut to the largest).
inline int fromRecorder(quint32 code)
{
    return RecorderFlag | int(qMin<quint32>(code, RecorderFlag - 1));
}

// The number callers see. A recorder's code passes as it is, except the codes that only the
// SDK raises (about the link or the local side): those become "recorder failure".
inline uint32_t toPublic(uint32_t error)
{
    if (!(error & RecorderFlag))
        return error;
    const uint32_t code = error & ~uint32_t(RecorderFlag);
    switch (code) {
    case VSDK_ERR_NOT_INITIALIZED:
    case VSDK_ERR_CONNECT:
    case VSDK_ERR_SEND:
    case VSDK_ERR_RECEIVE:
    case VSDK_ERR_RECEIVE_TIMEOUT:
    case VSDK_ERR_BAD_DATA:
    case VSDK_ERR_NO_PICTURE:
    case VSDK_ERR_FILE:
        return VSDK_ERR_DEVICE;
    default:
        return code;
    }
}

} // namespace KSdkError
