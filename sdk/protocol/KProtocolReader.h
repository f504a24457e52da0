#pragma once

#include "KRecTime.h"

#include <QByteArray>
#include <QString>

// Reads a payload field by field. Every read is bounds-checked; the first failure makes the
// reader invalid and every later read returns zero/empty, so decoders check ok() once.
class KProtocolReader
{
public:
    explicit KProtocolReader(const QByteArray &data);

    quint8 u8();
    qint8 i8() { return qint8(u8()); }
    quint16 u16();
    quint32 u32();
    qint32 i32() { return qint32(u32()); }
    quint64 u64();
    QString str(int maxBytes);
    // requireUtf8 false: any bytes but zero (a password cut at 16 bytes may split a letter).
    QByteArray strBytes(int maxBytes, bool requireUtf8 = true);
    QByteArray bytes(quint32 maxBytes);
    QByteArray raw(int count);
    KRecTime time();
    // Marks the payload malformed (a decoder's own range check failed).
    void fail() { m_ok = false; }

    bool ok() const { return m_ok; }
    // All fields read and nothing left over.
    bool finish() const { return m_ok && m_pos == m_data.size(); }

private:
    bool take(int count);

    const QByteArray m_data;
    int m_pos = 0;
    bool m_ok = true;
};
