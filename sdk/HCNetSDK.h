#pragma once

// Recorder network SDK: a blocking C API over the recorder protocol
// (docs/recorder-protocol.md). Every call may be made from any thread; the last
// error is kept per thread. Times are the recorder's local wall-clock time.

#include <stdint.h>

#ifdef __cplusplus
#include <cstddef>
#else
#include <stdbool.h>
#include <stddef.h>
#endif

#if defined(HCNETSDK_BUILD)
#define HCNETSDK_API __attribute__((visibility("default")))
#else
#define HCNETSDK_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

// ---------------------------------------------------------------------------
// Error codes (NET_DVR_GetLastError)
// ---------------------------------------------------------------------------
enum {
    VSDK_ERR_NONE = 0,             // also: no recording in the requested interval (GetFileByTime)
    VSDK_ERR_PASSWORD = 1,         // wrong user name or password
    VSDK_ERR_NOT_INITIALIZED = 2,  // NET_DVR_Init was not called
    VSDK_ERR_CHANNEL = 3,          // no such channel on the recorder
    VSDK_ERR_TOO_MANY = 4,         // handle/login table full
    VSDK_ERR_VERSION = 6,          // the recorder speaks another protocol version
    VSDK_ERR_CONNECT = 7,          // TCP connection failed or timed out
    VSDK_ERR_SEND = 8,             // sending failed (peer closed)
    VSDK_ERR_RECEIVE = 9,          // receiving failed (peer closed or reset)
    VSDK_ERR_RECEIVE_TIMEOUT = 10, // no answer within the receive time-out
    VSDK_ERR_BAD_DATA = 11,        // the peer sent a malformed or hostile frame
    VSDK_ERR_ORDER = 12,           // call not valid in the handle's current state
    VSDK_ERR_PARAMETER = 17,       // invalid argument (null pointer, bad size, bad code)
    VSDK_ERR_UNSUPPORTED = 23,     // unknown configuration command or control code
    VSDK_ERR_BUSY = 24,            // the recorder is busy (e.g. too many streams)
    VSDK_ERR_NO_PICTURE = 26,      // no picture received yet (capture)
    VSDK_ERR_FILE = 34,            // local file could not be created or written
    VSDK_ERR_USER_ID = 47,         // unknown user ID or login expired on the recorder
    VSDK_ERR_HANDLE = 48,          // unknown stream/find/download handle
    VSDK_ERR_DEVICE = 49,          // the recorder reported an internal failure
    VSDK_ERR_NOT_ACTIVATED = 250,  // the recorder is factory-new: activate it first
    VSDK_ERR_ACTIVATE_PASSWORD = 251, // activation refused: password not acceptable
    VSDK_ERR_ALREADY_ACTIVATED = 252  // activation refused: recorder already activated
};

// NET_DVR_FindNextFile_V30 results
enum {
    VSDK_FIND_FILE = 1000,     // one file returned in the find-data record
    VSDK_FIND_NO_FILE = 1001,  // the search found no file at all
    VSDK_FIND_BUSY = 1002,     // still searching: ask again
    VSDK_FIND_NO_MORE = 1003,  // all files were returned
    VSDK_FIND_EXCEPTION = 1004 // the search failed; see NET_DVR_GetLastError
};

// NET_DVR_GetDVRConfig commands
enum {
    VSDK_GET_TIME = 118,         // VSDK_TIME, whole device
    VSDK_GET_DEVICE = 1100,      // VSDK_DEVICE_CONFIG, whole device
    VSDK_GET_IP_CHANNELS = 1062, // VSDK_IP_CHANNELS, channel 0
    VSDK_GET_PICTURE = 1002,     // VSDK_PICTURE_CONFIG, per channel
    VSDK_GET_COMPRESSION = 1040, // VSDK_COMPRESSION, per channel
    VSDK_GET_DISKS = 1054        // VSDK_DISKS, whole device
};

// NET_DVR_PlayBackControl codes
enum {
    VSDK_PLAY_START = 1,
    VSDK_PLAY_STOP = 2,
    VSDK_PLAY_PAUSE = 3,
    VSDK_PLAY_RESUME = 4,
    VSDK_PLAY_FAST = 5,   // one speed step up (x2), at most 8x
    VSDK_PLAY_SLOW = 6,   // one speed step down (/2), at most 1/8x
    VSDK_PLAY_NORMAL = 7, // back to 1x
    VSDK_PLAY_SOUND_ON = 9,
    VSDK_PLAY_SOUND_OFF = 10,
    VSDK_PLAY_VOLUME = 11 // inValue 0..65535
};

enum { VSDK_CAPTURE_BMP = 0, VSDK_CAPTURE_JPEG = 1 };

// Data types of the raw stream data callback: one H.264 access unit (Annex B), a key frame
// (with its sequence headers) or another picture.
enum { VSDK_DATA_FRAME = 1, VSDK_DATA_KEY_FRAME = 2 };

enum { VSDK_CODEC_H264 = 1 };

enum { VSDK_MAX_DISKS = 33, VSDK_MAX_CHANNELS = 64, VSDK_MAX_IP_DEVICES = 64 };

// Native window handle given to the SDK (a QWidget's WId, sign-extended from 32 bits).
typedef intptr_t VSDK_WINDOW;

// ---------------------------------------------------------------------------
// Records. Layouts are fixed (sizes checked below); reserved bytes are zero.
// ---------------------------------------------------------------------------

// Recorder local time, six 32-bit fields (24 bytes).
typedef struct
{
    uint32_t year;
    uint32_t month;
    uint32_t day;
    uint32_t hour;
    uint32_t minute;
    uint32_t second;
} VSDK_TIME;

// Filled by NET_DVR_Login_V30 (80 bytes).
typedef struct
{
    uint8_t serialNumber[48]; // ASCII, zero padded
    int32_t analogChannelCount;
    int32_t firstAnalogChannel; // SDK number of analog channel 1
    int32_t ipChannelCount;
    int32_t firstIpChannel; // SDK number of IP channel 1
    int32_t audioChannelCount;
    uint8_t alarmInCount;
    uint8_t alarmOutCount;
    uint8_t diskCount;
    uint8_t deviceType;
    uint8_t reserved[8];
} VSDK_DEVICE_INFO;

// Command 1100 (180 bytes).
typedef struct
{
    uint32_t size;
    uint8_t deviceName[32]; // ASCII, zero padded
    uint32_t deviceNumber;
    uint8_t serialNumber[48];   // ASCII, zero padded
    uint32_t softwareVersion;   // (major << 24) | (minor << 16) | build
    uint32_t softwareBuildDate; // (yy << 16) | (month << 8) | day
    uint32_t dspVersion;        // (major << 16) | minor
    uint32_t dspBuildDate;      // as softwareBuildDate
    uint32_t hardwareVersion;
    uint8_t alarmInCount;
    uint8_t alarmOutCount;
    uint8_t diskCount;
    uint8_t analogChannelCount;
    uint32_t deviceType;
    uint8_t reserved[64];
} VSDK_DEVICE_CONFIG;

// One IP device (camera) the recorder pulls a channel from.
typedef struct
{
    uint8_t enabled;
    uint8_t protocol;
    uint16_t port;        // 0: slot unused
    uint8_t userName[32]; // UTF-8, zero padded
    uint8_t password[32]; // UTF-8, zero padded
    uint8_t ipv4[16];     // dotted text, zero padded
    uint8_t ipv6[128];
    uint8_t domain[64];
    uint8_t reserved[492];
} VSDK_IP_DEVICE;

// Which IP device feeds IP channel i.
typedef struct
{
    uint8_t enabled;
    uint8_t deviceIndex; // index into devices[]
    uint8_t reserved1[2];
    int32_t remoteChannel;
    uint8_t reserved2[16];
} VSDK_IP_CHANNEL_LINK;

// Command 1062, channel 0 (50792 bytes).
typedef struct
{
    uint32_t size;
    uint8_t analogEnabled[VSDK_MAX_CHANNELS];    // analog channel i is enabled when not 0
    VSDK_IP_DEVICE devices[VSDK_MAX_IP_DEVICES]; // IP device i backs IP channel i
    VSDK_IP_CHANNEL_LINK links[VSDK_MAX_CHANNELS];
    uint8_t reserved[36];
} VSDK_IP_CHANNELS;

// Command 1002, per channel (7752 bytes).
typedef struct
{
    uint32_t size;
    uint8_t channelName[32]; // UTF-8, zero padded (no terminator when 32 bytes long)
    uint32_t videoStandard;
    uint32_t showChannelName;
    uint16_t channelNameX;
    uint16_t channelNameY;
    uint32_t showOsd;
    uint16_t osdX;
    uint16_t osdY;
    uint8_t reserved[7696];
} VSDK_PICTURE_CONFIG;

// One stream's compression parameters (28 bytes).
typedef struct
{
    uint8_t streamType;
    uint8_t resolution; // resolution code, see docs/recorder-protocol.md
    uint8_t bitrateType;
    uint8_t quality;
    uint32_t bitrate; // kbit/s
    uint32_t frameRate;
    uint16_t keyFrameInterval;
    uint8_t videoEncoding;
    uint8_t audioEncoding;
    uint8_t reserved[12];
} VSDK_STREAM_COMPRESSION;

// Command 1040, per channel (116 bytes). main.resolution is at byte offset 5.
typedef struct
{
    uint32_t size;
    VSDK_STREAM_COMPRESSION main;  // main recording stream
    VSDK_STREAM_COMPRESSION event; // event recording stream
    VSDK_STREAM_COMPRESSION sub;   // network sub stream
    VSDK_STREAM_COMPRESSION reserved;
} VSDK_COMPRESSION;

// One disk slot (144 bytes).
typedef struct
{
    uint32_t capacityMb;
    uint32_t freeMb;
    uint32_t status; // 0 normal, 1 unformatted, 2 error, 3 SMART warning, 4 mismatch, 5 sleeping
    uint8_t attribute;
    uint8_t type;
    uint8_t reserved[130];
} VSDK_DISK;

// Command 1054 (4760 bytes). disks[i] is disk number i + 1.
typedef struct
{
    uint32_t size;
    uint32_t count;
    VSDK_DISK disks[VSDK_MAX_DISKS];
} VSDK_DISKS;

// NET_DVR_GetDVRWorkState_V30.
typedef struct
{
    uint32_t volumeMb;
    uint32_t freeMb;
    uint32_t status;
} VSDK_DISK_STATE;

typedef struct
{
    uint8_t recordState;   // 1 recording, 0 not
    uint8_t signalState;   // 1 video lost
    uint8_t hardwareState; // 1 hardware fault
    uint8_t reserved1;
    uint32_t bitRate; // bit/s
    uint32_t linkCount;
    uint8_t reserved2[4];
} VSDK_CHANNEL_STATE;

typedef struct
{
    uint32_t deviceStatus; // 0 normal, 1 CPU overload, 2 hardware fault
    VSDK_DISK_STATE disks[VSDK_MAX_DISKS];
    VSDK_CHANNEL_STATE channels[VSDK_MAX_CHANNELS]; // channels[c - 1] is SDK channel c
    uint8_t reserved[64];
} VSDK_WORK_STATE;

// NET_DVR_FindFile_V30 condition (96 bytes).
typedef struct
{
    int32_t channel;
    uint32_t fileType;  // 0xFF all
    uint32_t lockState; // 0xFF all, 0 unlocked, 1 locked
    uint32_t useCardNumber;
    uint8_t cardNumber[32];
    VSDK_TIME startTime;
    VSDK_TIME stopTime;
} VSDK_FIND_CONDITION;

// NET_DVR_FindNextFile_V30 result.
typedef struct
{
    char fileName[100]; // zero terminated
    VSDK_TIME startTime;
    VSDK_TIME stopTime;
    uint32_t fileSize; // bytes, saturated at 0xFFFFFFFF
    uint8_t locked;    // 1 locked
    uint8_t fileType;
    uint8_t reserved[10];
} VSDK_FIND_DATA;

// NET_DVR_RealPlay_V40 (288 bytes).
typedef struct
{
    int32_t channel;
    uint32_t streamType; // 0 main, 1 sub
    uint32_t linkMode;   // 0 TCP (the only mode)
    uint32_t reserved1;
    VSDK_WINDOW playWindow; // 0: no picture on screen, frames are still decoded
    uint32_t blocked;
    uint8_t reserved[260];
} VSDK_PREVIEW_INFO;

// NET_DVR_ActivateDevice (128 bytes).
typedef struct
{
    uint32_t size;        // 128
    uint8_t password[16]; // UTF-8, zero padded, no terminator needed
    uint8_t reserved[108];
} VSDK_ACTIVATION;

// What a live view or playback announced and what it has received so far
// (NET_DVR_GetStreamInfo, 128 bytes).
typedef struct
{
    uint32_t codec; // VSDK_CODEC_H264
    uint32_t width;
    uint32_t height;
    uint32_t frameRate;
    uint32_t targetBitRate;    // kbit/s, as announced; 0 unknown
    uint32_t targetKeyFrames;  // pictures from key frame to key frame, as announced; 0 unknown
    uint32_t bitRate;          // bit/s received over the last two seconds
    uint32_t keyFrameInterval; // pictures between the last two key frames received; 0 not yet
    uint64_t receivedPictures;
    uint64_t receivedBytes;
    uint64_t keyFrames;
    uint64_t decodedPictures;
    uint64_t droppedPictures; // left out on the way or not decodable until a key frame
    uint64_t decoderErrors;   // pictures the decoder refused
    uint64_t latePictures;    // came later than the stream's pace allows
    uint32_t weakLink;        // 1 while pictures come late, are left out or stop coming
    uint8_t reserved[36];
} VSDK_STREAM_INFO;

// Raw stream data callback of NET_DVR_RealPlay_V40: dataType VSDK_DATA_FRAME or
// VSDK_DATA_KEY_FRAME, the access unit's bytes.
typedef void (*VSDK_REALDATA_CALLBACK)(int32_t handle, uint32_t dataType, uint8_t *buffer,
                                       uint32_t size, void *user);

// ---------------------------------------------------------------------------
// Functions
// ---------------------------------------------------------------------------
HCNETSDK_API bool NET_DVR_Init(void);
HCNETSDK_API bool NET_DVR_Cleanup(void);
// waitTime: TCP connect time-out in ms (300..75000, clamped); tryTimes: attempts (>= 1).
HCNETSDK_API bool NET_DVR_SetConnectTime(uint32_t waitTime, uint32_t tryTimes);
HCNETSDK_API bool NET_DVR_SetAudioMode(uint32_t mode);
HCNETSDK_API uint32_t NET_DVR_GetLastError(void);

HCNETSDK_API int32_t NET_DVR_Login_V30(const char *host, uint16_t port, const char *user,
                                       const char *password, VSDK_DEVICE_INFO *info);
HCNETSDK_API bool NET_DVR_Logout_V30(int32_t userId);
HCNETSDK_API bool NET_DVR_ActivateDevice(const char *host, uint16_t port,
                                         const VSDK_ACTIVATION *activation);

HCNETSDK_API bool NET_DVR_GetDVRConfig(int32_t userId, uint32_t command, int32_t channel,
                                       void *buffer, uint32_t bufferSize, uint32_t *returned);
HCNETSDK_API bool NET_DVR_GetDVRWorkState_V30(int32_t userId, VSDK_WORK_STATE *state);

HCNETSDK_API int32_t NET_DVR_RealPlay_V40(int32_t userId, const VSDK_PREVIEW_INFO *preview,
                                          VSDK_REALDATA_CALLBACK callback, void *user);
HCNETSDK_API bool NET_DVR_StopRealPlay(int32_t handle);
HCNETSDK_API bool NET_DVR_OpenSoundShare(int32_t handle);
HCNETSDK_API bool NET_DVR_CloseSoundShare(int32_t handle);
HCNETSDK_API bool NET_DVR_Volume(int32_t handle, uint16_t volume);
HCNETSDK_API bool NET_DVR_SetCapturePictureMode(uint32_t mode);
HCNETSDK_API bool NET_DVR_CapturePicture(int32_t handle, const char *fileName);
// Live views and playbacks.
HCNETSDK_API bool NET_DVR_GetStreamInfo(int32_t handle, VSDK_STREAM_INFO *info);

HCNETSDK_API int32_t NET_DVR_PlayBackByTime(int32_t userId, int32_t channel, const VSDK_TIME *start,
                                            const VSDK_TIME *stop, VSDK_WINDOW window);
HCNETSDK_API bool NET_DVR_PlayBackControl(int32_t handle, uint32_t code, uint32_t inValue,
                                          uint32_t *outValue);
HCNETSDK_API bool NET_DVR_StopPlayBack(int32_t handle);
HCNETSDK_API bool NET_DVR_GetPlayBackOsdTime(int32_t handle, VSDK_TIME *time);
HCNETSDK_API bool NET_DVR_PlayBackCaptureFile(int32_t handle, const char *fileName);

HCNETSDK_API int32_t NET_DVR_FindFile_V30(int32_t userId, const VSDK_FIND_CONDITION *condition);
HCNETSDK_API int32_t NET_DVR_FindNextFile_V30(int32_t findHandle, VSDK_FIND_DATA *data);
HCNETSDK_API bool NET_DVR_FindClose_V30(int32_t findHandle);

HCNETSDK_API int32_t NET_DVR_GetFileByTime(int32_t userId, int32_t channel, const VSDK_TIME *start,
                                           const VSDK_TIME *stop, const char *localFile);
HCNETSDK_API int32_t NET_DVR_GetDownloadPos(int32_t handle);
HCNETSDK_API bool NET_DVR_StopGetFile(int32_t handle);

#ifdef __cplusplus
}

static_assert(sizeof(VSDK_TIME) == 24, "time record");
static_assert(sizeof(VSDK_DEVICE_INFO) == 80, "device info record");
static_assert(sizeof(VSDK_DEVICE_CONFIG) == 180, "device configuration record");
static_assert(sizeof(VSDK_IP_CHANNELS) == 50792, "IP channel record");
static_assert(sizeof(VSDK_PICTURE_CONFIG) == 7752, "picture configuration record");
static_assert(sizeof(VSDK_COMPRESSION) == 116, "compression record");
static_assert(offsetof(VSDK_COMPRESSION, main) + offsetof(VSDK_STREAM_COMPRESSION, resolution) == 5,
              "main stream resolution at offset 5");
static_assert(sizeof(VSDK_DISKS) == 4760, "disk record");
static_assert(sizeof(VSDK_FIND_CONDITION) == 96, "find condition record");
static_assert(sizeof(VSDK_PREVIEW_INFO) == 288, "preview record");
static_assert(sizeof(VSDK_ACTIVATION) == 128, "activation record");
static_assert(sizeof(VSDK_STREAM_INFO) == 128, "stream information record");
#endif
