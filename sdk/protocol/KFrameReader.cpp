#include "KFrameReader.h"

#include "KRecorderProtocol.h"

void KFrameReader::append(const QByteArray &bytes)
{
    if (!hasError())
        m_buffer.append(bytes);
}

bool KFrameReader::next(KFrame &frame)
{
    if (hasError() || m_buffer.size() < KRecorderProtocol::HeaderSize)
        return false;
    quint8 type = 0;
    quint32 seq = 0;
    quint32 length = 0;
    const KFrame::HeaderStatus status =
        KFrame::parseHeader(m_buffer.constData(), type, seq, length);
    if (status != KFrame::HeaderOk) {
        m_error = status;
        m_buffer.clear();
        return false;
    }
    const int total = KRecorderProtocol::HeaderSize + int(length);
    if (m_buffer.size() < total)
        return false;
    frame.type = type;
    frame.seq = seq;
    frame.payload = m_buffer.mid(KRecorderProtocol::HeaderSize, int(length));
    m_buffer.remove(0, total);
    return true;
}

QString KFrameReader::errorString() const
{
    switch (m_error) {
    case KFrame::HeaderOk:
        return QString();
    case KFrame::BadMagic:
        return QStringLiteral("bad magic");
    case KFrame::BadVersion:
        return QStringLiteral("unsupported protocol version");
    case KFrame::BadFlags:
        return QStringLiteral("non-zero flags");
    case KFrame::UnknownType:
        return QStringLiteral("unknown message type");
    case KFrame::TooLong:
        return QStringLiteral("payload over the limit");
    }
    return QString();
}
