#include "KProtocolReader.h"

KProtocolReader::KProtocolReader(const QByteArray &data) : m_data(data) {}

bool KProtocolReader::take(int count)
{
    if (!m_ok || count < 0 || m_data.size() - m_pos < count) {
        m_ok = false;
        return false;
    }
    return true;
}

quint8 KProtocolReader::u8()
{
    if (!take(1))
        return 0;
    return quint8(m_data.at(m_pos++));
}

quint16 KProtocolReader::u16()
{
    if (!take(2))
        return 0;
    const quint16 hi = u8();
    return quint16((hi << 8) | u8());
}

quint32 KProtocolReader::u32()
{
    if (!take(4))
        return 0;
    const quint32 hi = u16();
    return (hi << 16) | u16();
}

quint64 KProtocolReader::u64()
{
    if (!take(8))
        return 0;
    const quint64 hi = u32();
    return (hi << 32) | u32();
}

QByteArray KProtocolReader::strBytes(int maxBytes, bool requireUtf8)
{
    const int n = u16();
    if (!m_ok || n > maxBytes || !take(n)) {
        m_ok = false;
        return QByteArray();
    }
    QByteArray b = m_data.mid(m_pos, n);
    m_pos += n;
    // Texts are UTF-8 without zero bytes; anything else is malformed.
    if (b.contains('\0') || (requireUtf8 && QString::fromUtf8(b).toUtf8() != b)) {
        m_ok = false;
        return QByteArray();
    }
    return b;
}

QString KProtocolReader::str(int maxBytes)
{
    return QString::fromUtf8(strBytes(maxBytes));
}

QByteArray KProtocolReader::bytes(quint32 maxBytes)
{
    const quint32 n = u32();
    if (!m_ok || n > maxBytes || n > quint32(m_data.size() - m_pos)) {
        m_ok = false;
        return QByteArray();
    }
    QByteArray b = m_data.mid(m_pos, int(n));
    m_pos += int(n);
    return b;
}

QByteArray KProtocolReader::raw(int count)
{
    if (!take(count))
        return QByteArray();
    QByteArray b = m_data.mid(m_pos, count);
    m_pos += count;
    return b;
}

KRecTime KProtocolReader::time()
{
    KRecTime t;
    t.year = u16();
    t.month = u8();
    t.day = u8();
    t.hour = u8();
    t.minute = u8();
    t.second = u8();
    if (m_ok && !t.isValid())
        m_ok = false;
    return t;
}
