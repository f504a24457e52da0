#include "KEmuH264Repeat.h"

#include <QList>

namespace {

// The NAL units of an Annex B access unit (without start codes).
QList<QByteArray> nalUnits(const QByteArray &unit)
{
    QList<QByteArray> units;
    int start = -1;
    for (int i = 0; i + 2 < unit.size(); ++i) {
        if (unit[i] == 0 && unit[i + 1] == 0 && unit[i + 2] == 1) {
            if (start >= 0) {
                int end = i;
                while (end > start && unit[end - 1] == 0)
                    --end;
                units << unit.mid(start, end - start);
            }
            start = i + 3;
            i += 2;
        }
    }
    if (start >= 0 && start < unit.size())
        units << unit.mid(start);
    return units;
}

// The payload of a NAL unit without its emulation prevention bytes.
QByteArray rbsp(const QByteArray &nal)
{
    QByteArray out;
    out.reserve(nal.size());
    int zeros = 0;
    for (int i = 1; i < nal.size(); ++i) {
        const char c = nal[i];
        if (zeros >= 2 && c == 3) {
            zeros = 0;
            continue;
        }
        zeros = c == 0 ? zeros + 1 : 0;
        out += c;
    }
    return out;
}

class BitReader
{
public:
    explicit BitReader(const QByteArray &data) : m_data(data) {}
    bool ok() const { return m_ok; }
    quint32 bits(int n)
    {
        quint32 v = 0;
        for (int i = 0; i < n; ++i) {
            if (m_pos >= m_data.size() * 8) {
                m_ok = false;
                return 0;
            }
            v = (v << 1) | ((quint8(m_data[m_pos / 8]) >> (7 - m_pos % 8)) & 1);
            ++m_pos;
        }
        return v;
    }
    quint32 ue()
    {
        int zeros = 0;
        while (m_ok && bits(1) == 0) {
            if (++zeros > 31) {
                m_ok = false;
                return 0;
            }
        }
        return zeros ? (1u << zeros) - 1 + bits(zeros) : 0;
    }
    qint32 se()
    {
        const quint32 k = ue();
        return k & 1 ? qint32((k + 1) / 2) : -qint32(k / 2);
    }

private:
    const QByteArray m_data;
    int m_pos = 0;
    bool m_ok = true;
};

class BitWriter
{
public:
    void bits(quint32 value, int n)
    {
        for (int i = n - 1; i >= 0; --i)
            bit((value >> i) & 1);
    }
    void ue(quint32 v)
    {
        const quint32 code = v + 1;
        int n = 0;
        while ((code >> n) > 1)
            ++n;
        bits(0, n);
        bits(code, n + 1);
    }
    // Stop bit and zeros up to a byte.
    QByteArray finish()
    {
        bit(1);
        while (m_count)
            bit(0);
        return m_data;
    }

private:
    void bit(quint32 b)
    {
        m_byte = quint8((m_byte << 1) | b);
        if (++m_count == 8) {
            m_data += char(m_byte);
            m_byte = 0;
            m_count = 0;
        }
    }
    QByteArray m_data;
    quint8 m_byte = 0;
    int m_count = 0;
};

} // namespace

void KEmuH264Repeat::take(const QByteArray &unit)
{
    m_lastWasRepeat = false;
    for (const QByteArray &nal : nalUnits(unit)) {
        if (nal.isEmpty())
            continue;
        const int type = nal[0] & 0x1F;
        const bool reference = (nal[0] & 0x60) != 0;
        BitReader r(rbsp(nal));
        if (type == 7) { // sequence parameter set
            const quint32 profile = r.bits(8);
            r.bits(16);
            r.ue();
            // Profiles with chroma formats and scaling lists are not what the encoder makes.
            m_usable = profile == 66 || profile == 77 || profile == 88;
            m_frameNumBits = int(r.ue()) + 4;
            const quint32 pocType = r.ue();
            r.ue();
            r.bits(1);
            const quint32 width = r.ue() + 1;
            const quint32 height = r.ue() + 1;
            const quint32 framesOnly = r.bits(1);
            // Picture order counts other than by frame number would need their own values.
            m_usable = m_usable && r.ok() && pocType == 2 && framesOnly == 1;
            m_mbs = int(width * height);
        } else if (type == 8) { // picture parameter set
            m_ppsId = int(r.ue());
            r.ue();
            const quint32 cabac = r.bits(1);
            r.bits(1);
            const quint32 sliceGroups = r.ue();
            r.ue();
            r.ue();
            const quint32 weighted = r.bits(1);
            r.bits(2);
            r.se();
            r.se();
            r.se();
            m_deblockingControl = r.bits(1);
            r.bits(1);
            m_redundantPicCount = r.bits(1);
            m_usable = m_usable && r.ok() && !cabac && sliceGroups == 0 && !weighted;
        } else if ((type == 1 || type == 5) && m_frameNumBits > 0) { // a slice
            r.ue();
            r.ue();
            r.ue();
            const int frameNum = int(r.bits(m_frameNumBits));
            if (r.ok() && reference)
                m_lastRefFrameNum = frameNum;
            break;
        }
    }
}

QByteArray KEmuH264Repeat::repeat()
{
    // Two repeats in a row would be two non-reference pictures with one frame number.
    if (!m_usable || m_lastWasRepeat || m_lastRefFrameNum < 0)
        return QByteArray();
    BitWriter w;
    w.ue(0); // first macroblock
    w.ue(0); // P slice
    w.ue(quint32(m_ppsId));
    w.bits(quint32(m_lastRefFrameNum + 1) & ((1u << m_frameNumBits) - 1), m_frameNumBits);
    if (m_redundantPicCount)
        w.ue(0);
    w.bits(0, 1); // the parameter set's count of references
    w.bits(0, 1); // the reference list as it is
    w.ue(0);      // slice QP delta 0
    if (m_deblockingControl)
        w.ue(1);          // no deblocking: nothing changes
    w.ue(quint32(m_mbs)); // every macroblock skipped
    const QByteArray payload = w.finish();
    // nal_ref_idc 0, non-IDR slice; emulation prevention where zeros would make a start code.
    QByteArray nal = QByteArray::fromHex("0000000101");
    int zeros = 0;
    for (char c : payload) {
        if (zeros >= 2 && quint8(c) <= 3) {
            nal += char(3);
            zeros = 0;
        }
        nal += c;
        zeros = c == 0 ? zeros + 1 : 0;
    }
    m_lastWasRepeat = true;
    return nal;
}
