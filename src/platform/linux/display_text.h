// The recognizer's words as a person would write them: sentence case, "I",
// weekdays and months capitalised, numbers, dates, times, money and percent
// in figures. Pure text in, text out; no state, safe on any thread.
//
// The style (README's "Display text" has it with examples):
// - Cardinals of ten and above, and every number of more than one word, in
//   figures; one to nine standing alone in words, in figures with a unit,
//   currency, percent or time. Four-digit numbers without a separator, longer
//   ones grouped by commas; whole millions and billions as "3 million".
// - Ordinals from tenth on in figures ("21st"); first to ninth in words,
//   except in dates.
// - Years spoken in pairs ("nineteen oh eight" 1908), dates ("March 3, 1928",
//   "the 3rd of March"), times with a.m. or p.m. ("5:30 PM") or o'clock,
//   dollars and cents ("$8.50"), percent ("50%"), and digits read out one by
//   one as one digit string.
// Nothing is dropped: every word is kept as itself, or inside the figure it
// became. Each rule looks only forward from where it starts, so formatting a
// longer text never changes what an earlier number or date left alone.

#ifndef VOXLINE_PLATFORM_LINUX_DISPLAY_TEXT_H_
#define VOXLINE_PLATFORM_LINUX_DISPLAY_TEXT_H_

#include <string>
#include <string_view>

namespace voxline::platform::linux_backend {

// Lexical words, lower case and separated by spaces, as display text.
std::string displayText(std::string_view lexical);

}  // namespace voxline::platform::linux_backend

#endif  // VOXLINE_PLATFORM_LINUX_DISPLAY_TEXT_H_
