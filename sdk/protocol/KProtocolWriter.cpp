#include "KProtocolWriter.h"

void KProtocolWriter::u8(quint8 v)
{
    m_data.append(char(v));
}

void KProtocolWriter::u16(quint16 v)
{
    u8(quint8(v >> 8));
    u8(quint8(v));
}

void KProtocolWriter::u32(quint32 v)
{
    u16(quint16(v >> 16));
    u16(quint16(v));
}

void KProtocolWriter::u64(quint64 v)
{
    u32(quint32(v >> 32));
    u32(quint32(v));
}

void KProtocolWriter::str(const QString &text, int maxBytes)
{
    strBytes(text.toUtf8(), maxBytes);
}

void KProtocolWriter::strBytes(const QByteArray &utf8, int maxBytes)
{
    QByteArray b = utf8;
    const int zero = b.indexOf('\0');
    if (zero >= 0)
        b.truncate(zero);
    if (b.size() > maxBytes) {
        int n = maxBytes;
        // Step back over continuation bytes so no character is split.
        while (n > 0 && (quint8(b.at(n)) & 0xC0) == 0x80)
            --n;
        b.truncate(n);
    }
    u16(quint16(b.size()));
    m_data.append(b);
}

void KProtocolWriter::bytes(const QByteArray &data, quint32 maxBytes)
{
    const quint32 n = qMin<quint32>(quint32(data.size()), maxBytes);
    u32(n);
    m_data.append(data.constData(), int(n));
}

void KProtocolWriter::time(const KRecTime &t)
{
    u16(t.year);
    u8(t.month);
    u8(t.day);
    u8(t.hour);
    u8(t.minute);
    u8(t.second);
}
