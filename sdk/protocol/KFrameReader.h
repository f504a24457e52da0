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
    void append(const QByteArray &bytes);
    // Takes the next complete frame; false when none is complete yet or on error.
    bool next(KFrame &frame);
    bool hasError() const { return m_error != KFrame::HeaderOk; }
    KFrame::HeaderStatus error() const { return m_error; }
    QString errorString() const;
    // Bytes buffered but not yet returned as frames.
    int pending() const { return m_buffer.size(); }

private:
    QByteArray m_buffer;
    KFrame::HeaderStatus m_error = KFrame::HeaderOk;
};
