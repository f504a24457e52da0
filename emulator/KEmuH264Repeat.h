#pragma once

#include <QByteArray>
#include <QtGlobal>

// Repeats of the picture before, made without the encoder: a non-reference P picture whose
// every block is skipped, so the decoder shows its reference again. It reads what it needs
// (frame numbers, the parameter sets' choices) from the encoder's own output, and makes a
// repeat only where the stream allows one: CAVLC, frame numbers without picture order counts,
// one repeat between two encoded pictures.
class KEmuH264Repeat
{
public:
    // Reads an access unit of the encoder.
    void take(const QByteArray &unit);
    // A repeat of the picture before, or empty when none may come now. A repeat taken counts.
    QByteArray repeat();

private:
    bool m_usable = false;  // parameter sets read and of a kind a repeat works with
    int m_frameNumBits = 0; // log2_max_frame_num
    int m_ppsId = 0;
    int m_mbs = 0; // picture size in macroblocks
    bool m_deblockingControl = false;
    bool m_redundantPicCount = false;
    int m_lastRefFrameNum = -1;
    bool m_lastWasRepeat = true; // nothing to repeat until an encoded picture came
};
