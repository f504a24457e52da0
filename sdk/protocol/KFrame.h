#pragma once

#include <QByteArray>
#include <QtGlobal>

// One protocol frame: header fields and payload.
struct KFrame
{
    quint8 type = 0;
    quint32 seq = 0;
    QByteArray payload;

    // Header + payload, ready to send. The payload must respect the type's limit.
    static QByteArray encode(quint8 type, quint32 seq, const QByteArray &payload = QByteArray());

    enum HeaderStatus { HeaderOk, BadMagic, BadVersion, BadFlags, UnknownType, TooLong };
    // Checks a 16-byte header; on HeaderOk fills type, seq and the payload length.
    static HeaderStatus parseHeader(const char *header, quint8 &type, quint32 &seq,
                                    quint32 &length);
};
