// The rows of the options dialog's "Ripping" page that choose how the drive is read: each
// sector once, or securely (test and copy, re-reads until two reads agree), and the limits
// of secure reading.
#pragma once

class QComboBox;
class QSpinBox;

namespace bw {

class TRippingPage;

struct TReadingRows {
    QComboBox* cbReadMode{};
    QSpinBox* seMaxRereads{};
    QSpinBox* seMaxRetries{};
};

inline constexpr int MaxRereadsLimit = 1000;
inline constexpr int MaxRetriesLimit = 100;

TReadingRows AddReadingRows(TRippingPage& page);

} // namespace bw
