#include "KFrame.h"

#include "KProtocolWriter.h"
#include "KRecorderProtocol.h"

using namespace KRecorderProtocol;

QByteArray KFrame::encode(quint8 type, quint32 seq, const QByteArray &payload)
{
    KProtocolWriter w;
    w.u32(Magic);
    w.u8(Version);
    w.u8(type);
    w.u16(0);
    w.u32(seq);
    w.u32(quint32(payload.size()));
    w.raw(payload);
    return w.data();
}

static quint32 be32(const char *p)
{
    const auto *u = reinterpret_cast<const quint8 *>(p);
    return (quint32(u[0]) << 24) | (quint32(u[1]) << 16) | (quint32(u[2]) << 8) | quint32(u[3]);
}

KFrame::HeaderStatus KFrame::parseHeader(const char *header, quint8 &type, quint32 &seq,
                                         quint32 &length)
{
    if (be32(header) != Magic)
        return BadMagic;
    if (quint8(header[4]) != Version)
        return BadVersion;
    if (header[6] != 0 || header[7] != 0)
        return BadFlags;
    type = quint8(header[5]);
    if (!isKnownType(type))
        return UnknownType;
    seq = be32(header + 8);
    length = be32(header + 12);
    if (length > maxPayload(type))
        return TooLong;
    return HeaderOk;
}
