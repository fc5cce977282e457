// The arithmetic and the texts of the main window, apart from the window so they read plainly.
#pragma once

#include <QString>
#include <cstdint>

namespace quillon::recorder {

// A number as the recordings list and the numbered file names write it: one leading blank when
// it is zero or positive, "-" when negative (" 12", "-3").
QString signed_text(std::int64_t n);

// The nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
std::int64_t round_half_even(double value);
// value * count / 100 rounded as above, exact for every 32-bit count.
std::int64_t percent_of(std::int64_t value, std::int64_t count);

// A floating-point number as the platform writes it by default: the user's decimal separator,
// no trailing zeros, no group separators (1.234, 2, 0.05).
QString number_text(double value);

// The list entry of a finished recording: " 1    12sec       /home/me/zarvo.wav".
QString list_entry(int number, std::int64_t seconds, const QString& file);
// The file a list entry names: from where its path begins ("/") to the end; "" when none does.
QString entry_file(const QString& entry);

}  // namespace quillon::recorder
