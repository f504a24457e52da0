#pragma once

#include "KFrame.h"

#include <QByteArray>
#include <QString>

// Incremental frame decoder for event-driven readers (the emulator's sockets): append
// whatever arrived, then take complete frames. After a malformed header it stays in error
// and the connection should be closed.
class KFrameReader
{
public:
    // A recorder's reader: frames of types only a recorder sends, and requests longer than
    // MaxRequestPayload, are refused from the header.
    void setRequestsOnly(bool requestsOnly) { m_requestsOnly = requestsOnly; }
    void append(const QByteArray &bytes);
    // Takes the next complete frame; false when none is complete yet or on error.
    bool next(KFrame &frame);
    bool hasError() const { return m_error != KFrame::HeaderOk; }
    KFrame::HeaderStatus error() const { return m_error; }
    QString errorString() const;
    // Bytes buffered but not yet returned as frames.
    int pending() const { return m_buffer.size() - m_taken; }

private:
    QByteArray m_buffer;
    int m_taken = 0; // bytes at the front of m_buffer already returned
    KFrame::HeaderStatus m_error = KFrame::HeaderOk;
    bool m_requestsOnly = false;
    bool m_notRequest = false;
};
