#pragma once

#include "KRecTime.h"

#include <QByteArray>
#include <QString>

// Builds a payload field by field, big-endian. Strings longer than their limit are cut at a
// UTF-8 character boundary so that the output is always valid for the reader.
class KProtocolWriter
{
public:
    void u8(quint8 v);
    void i8(qint8 v) { u8(quint8(v)); }
    void u16(quint16 v);
    void u32(quint32 v);
    void i32(qint32 v) { u32(quint32(v)); }
    void u64(quint64 v);
    void str(const QString &text, int maxBytes);
    void strBytes(const QByteArray &utf8, int maxBytes);
    void bytes(const QByteArray &data, quint32 maxBytes);
    void raw(const QByteArray &data) { m_data.append(data); }
    void time(const KRecTime &t);
    const QByteArray &data() const { return m_data; }

private:
    QByteArray m_data;
};
