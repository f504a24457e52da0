#pragma once

#include <QtGlobal>

// Constants of the recorder wire protocol (docs/recorder-protocol.md).
namespace KRecorderProtocol {

constexpr quint32 Magic = 0x564D5250; // "VMRP"
constexpr quint8 Version = 2;
constexpr int HeaderSize = 16;
constexpr int NonceSize = 16;
constexpr int ProofSize = 32;

constexpr quint32 MaxPictureBytes = 4 * 1024 * 1024;
constexpr quint32 MaxDataBytes = 1024 * 1024;
constexpr quint32 MaxVideoFramePayload = MaxPictureBytes + 64;
constexpr quint32 MaxDataPayload = MaxDataBytes + 8;
constexpr quint32 MaxSmallPayload = 64 * 1024;
// Requests are small; a recorder refuses a longer one from its header.
constexpr quint32 MaxRequestPayload = 4 * 1024;
constexpr quint64 MaxDownloadBytes = 64ull * 1024 * 1024 * 1024;

constexpr int MaxChannels = 64;
constexpr int MaxDisks = 33;
constexpr int MaxFindBatch = 64;

enum MessageType : quint8 {
    Hello = 0x01,
    Login = 0x10,
    Activate = 0x11,
    Attach = 0x12,
    Logout = 0x13,
    GetConfig = 0x14,
    GetWorkState = 0x15,
    FindStart = 0x16,
    FindNext = 0x17,
    FindClose = 0x18,
    StreamOpen = 0x20,
    StreamControl = 0x21,
    Keepalive = 0x7E,
    Ok = 0x80,
    LoginOk = 0x81,
    Config = 0x82,
    WorkState = 0x83,
    FindStarted = 0x84,
    FindBatch = 0x85,
    StreamOpened = 0x86,
    VideoFrame = 0x90,
    DownloadBegin = 0x91,
    Data = 0x92,
    StreamEnd = 0x93,
    Error = 0xFF
};

enum ErrorCode : quint32 {
    ErrPassword = 1,
    ErrChannel = 3,
    ErrTooManyLogins = 4,
    ErrVersion = 6,
    ErrOrder = 12,
    ErrParameter = 17,
    ErrUnsupported = 23,
    ErrBusy = 24,
    ErrNoSession = 47,
    ErrUnknownSearch = 48,
    ErrDevice = 49,
    ErrNotActivated = 250,
    ErrActivatePassword = 251,
    ErrAlreadyActivated = 252,
    ErrNoRecording = 1001
};

enum ConfigCommand : quint32 {
    CmdTime = 118,
    CmdDevice = 1100,
    CmdIpChannels = 1062,
    CmdPicture = 1002,
    CmdCompression = 1040,
    CmdDisks = 1054
};

enum StreamKind : quint8 { StreamLive = 1, StreamPlayback = 2, StreamDownload = 3 };

enum ControlAction : quint8 {
    ControlStart = 1,
    ControlPause = 2,
    ControlResume = 3,
    ControlSpeed = 4
};

enum FindStatus : quint8 { FindFiles = 0, FindBusy = 1, FindDone = 2 };

// Codecs a stream may announce; version 2 knows one.
enum VideoCodec : quint8 { CodecH264 = 1 };
// VideoFrame flags.
constexpr quint8 FrameKey = 0x01;

// True for the type codes this version defines.
bool isKnownType(quint8 type);
// True for the types a client sends (Keepalive included).
bool isRequestType(quint8 type);
// Largest payload a frame of this type may carry.
quint32 maxPayload(quint8 type);

} // namespace KRecorderProtocol
