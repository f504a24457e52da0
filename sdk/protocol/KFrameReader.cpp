#include "KFrameReader.h"

#include "KRecorderProtocol.h"

void KFrameReader::append(const QByteArray &bytes)
{
    if (hasError())
        return;
    // Returned frames leave the buffer here, once per append rather than once per frame.
    m_buffer.remove(0, m_taken);
    m_taken = 0;
    m_buffer.append(bytes);
}

bool KFrameReader::next(KFrame &frame)
{
    if (hasError() || pending() < KRecorderProtocol::HeaderSize)
        return false;
    quint8 type = 0;
    quint32 seq = 0;
    quint32 length = 0;
    KFrame::HeaderStatus status =
        KFrame::parseHeader(m_buffer.constData() + m_taken, type, seq, length);
    if (status == KFrame::HeaderOk && m_requestsOnly) {
        m_notRequest = !KRecorderProtocol::isRequestType(type);
        if (m_notRequest)
            status = KFrame::UnknownType;
        else if (length > KRecorderProtocol::MaxRequestPayload)
            status = KFrame::TooLong;
    }
    if (status != KFrame::HeaderOk) {
        m_error = status;
        m_buffer.clear();
        m_taken = 0;
        return false;
    }
    const int total = KRecorderProtocol::HeaderSize + int(length);
    if (pending() < total)
        return false;
    frame.type = type;
    frame.seq = seq;
    frame.payload = m_buffer.mid(m_taken + KRecorderProtocol::HeaderSize, int(length));
    m_taken += total;
    if (m_taken == m_buffer.size()) {
        m_buffer.clear();
        m_taken = 0;
    }
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
        return m_notRequest ? QStringLiteral("not a request type")
                            : QStringLiteral("unknown message type");
    case KFrame::TooLong:
        return QStringLiteral("payload over the limit");
    }
    return QString();
}
