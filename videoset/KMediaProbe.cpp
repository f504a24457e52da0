#include "KMediaProbe.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace {

QString avError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

// How far before the end the reading of the last pictures starts.
constexpr double kTailSeconds = 3.0;

struct Input
{
    AVFormatContext *context = nullptr;
    ~Input() { avformat_close_input(&context); }
};

struct Packet
{
    AVPacket *packet = av_packet_alloc();
    ~Packet() { av_packet_free(&packet); }
};

} // namespace

KMediaProbe::Result KMediaProbe::probe(const QString &path)
{
    // A broken file is an expected answer here, not news for the console; the level filters
    // only libav's own printing (a player that installed its own log callback sees all).
    static std::once_flag quiet;
    std::call_once(quiet, [] {
        if (av_log_get_level() == AV_LOG_INFO)
            av_log_set_level(AV_LOG_FATAL);
    });
    Result result;
    Input input;
    const QByteArray name = QFile::encodeName(path);
    int code = avformat_open_input(&input.context, name.constData(), nullptr, nullptr);
    if (code < 0) {
        result.error = QStringLiteral("cannot open: ") + avError(code);
        return result;
    }
    code = avformat_find_stream_info(input.context, nullptr);
    if (code < 0) {
        result.error = QStringLiteral("no stream information: ") + avError(code);
        return result;
    }
    const int video = av_find_best_stream(input.context, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video < 0) {
        result.error = QStringLiteral("no video stream");
        return result;
    }
    const AVStream *stream = input.context->streams[video];
    const double unit = av_q2d(stream->time_base);
    Packet packet;
    if (!packet.packet) {
        result.error = QStringLiteral("out of memory");
        return result;
    }

    // The first picture's time; a file with none holds nothing.
    double first = std::numeric_limits<double>::quiet_NaN();
    while (std::isnan(first) && (code = av_read_frame(input.context, packet.packet)) >= 0) {
        if (packet.packet->stream_index == video && packet.packet->pts != AV_NOPTS_VALUE)
            first = packet.packet->pts * unit;
        av_packet_unref(packet.packet);
    }
    if (std::isnan(first)) {
        result.error = QStringLiteral("no picture");
        return result;
    }

    // The last pictures, read from a little before the container's end to the true end: a
    // truncated file either fails here or ends early.
    const double containerSeconds = input.context->duration != AV_NOPTS_VALUE
                                        ? double(input.context->duration) / AV_TIME_BASE
                                        : 0.0;
    const double tailStart = std::max(first, first + containerSeconds - kTailSeconds);
    const auto target = static_cast<int64_t>(tailStart / unit);
    if (av_seek_frame(input.context, video, target, AVSEEK_FLAG_BACKWARD) < 0)
        av_seek_frame(input.context, video, 0, AVSEEK_FLAG_BACKWARD);
    double last = first;
    bool tailRead = false;
    while ((code = av_read_frame(input.context, packet.packet)) >= 0) {
        const AVPacket *p = packet.packet;
        if (p->stream_index == video && p->pts != AV_NOPTS_VALUE) {
            if (p->flags & AV_PKT_FLAG_CORRUPT) {
                av_packet_unref(packet.packet);
                result.error = QStringLiteral("corrupt picture at the end");
                return result;
            }
            last = std::max(last, (p->pts + std::max<int64_t>(p->duration, 0)) * unit);
            tailRead = true;
        }
        av_packet_unref(packet.packet);
    }
    if (code != AVERROR_EOF) {
        result.error = QStringLiteral("read error at the end: ") + avError(code);
        return result;
    }
    if (!tailRead) {
        result.error = QStringLiteral("no picture at the end");
        return result;
    }
    result.readable = true;
    result.seconds = last - first;
    return result;
}

double KMediaProbe::tolerance(double expectedSeconds)
{
    return 2.0 + 0.005 * std::max(0.0, expectedSeconds);
}

bool KMediaProbe::covers(const QString &path, double expectedSeconds, QString *why, double *seconds)
{
    const Result result = probe(path);
    if (seconds)
        *seconds = result.readable ? result.seconds : 0;
    QString reason;
    if (!result.readable)
        reason = result.error;
    else if (result.seconds + tolerance(expectedSeconds) < expectedSeconds)
        reason = QStringLiteral("holds %1 s of %2 s")
                     .arg(result.seconds, 0, 'f', 1)
                     .arg(expectedSeconds, 0, 'f', 1);
    if (why)
        *why = reason;
    return reason.isEmpty();
}
