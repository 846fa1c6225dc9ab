#include "platform/linux/display_text.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

namespace voxline::platform::linux_backend {
namespace {

using Words = std::vector<std::string_view>;

enum class Kind { unit, teen, tens, hundred, scale };

struct NumberWord {
  std::string_view word;
  Kind kind;
  int64_t value;
  bool ordinal;
};

constexpr NumberWord numberWords[] = {
    {"zero", Kind::unit, 0, false},
    {"one", Kind::unit, 1, false},
    {"two", Kind::unit, 2, false},
    {"three", Kind::unit, 3, false},
    {"four", Kind::unit, 4, false},
    {"five", Kind::unit, 5, false},
    {"six", Kind::unit, 6, false},
    {"seven", Kind::unit, 7, false},
    {"eight", Kind::unit, 8, false},
    {"nine", Kind::unit, 9, false},
    {"ten", Kind::teen, 10, false},
    {"eleven", Kind::teen, 11, false},
    {"twelve", Kind::teen, 12, false},
    {"thirteen", Kind::teen, 13, false},
    {"fourteen", Kind::teen, 14, false},
    {"fifteen", Kind::teen, 15, false},
    {"sixteen", Kind::teen, 16, false},
    {"seventeen", Kind::teen, 17, false},
    {"eighteen", Kind::teen, 18, false},
    {"nineteen", Kind::teen, 19, false},
    {"twenty", Kind::tens, 20, false},
    {"thirty", Kind::tens, 30, false},
    {"forty", Kind::tens, 40, false},
    {"fifty", Kind::tens, 50, false},
    {"sixty", Kind::tens, 60, false},
    {"seventy", Kind::tens, 70, false},
    {"eighty", Kind::tens, 80, false},
    {"ninety", Kind::tens, 90, false},
    {"hundred", Kind::hundred, 100, false},
    {"thousand", Kind::scale, 1'000, false},
    {"million", Kind::scale, 1'000'000, false},
    {"billion", Kind::scale, 1'000'000'000, false},
    {"first", Kind::unit, 1, true},
    {"second", Kind::unit, 2, true},
    {"third", Kind::unit, 3, true},
    {"fourth", Kind::unit, 4, true},
    {"fifth", Kind::unit, 5, true},
    {"sixth", Kind::unit, 6, true},
    {"seventh", Kind::unit, 7, true},
    {"eighth", Kind::unit, 8, true},
    {"ninth", Kind::unit, 9, true},
    {"tenth", Kind::teen, 10, true},
    {"eleventh", Kind::teen, 11, true},
    {"twelfth", Kind::teen, 12, true},
    {"thirteenth", Kind::teen, 13, true},
    {"fourteenth", Kind::teen, 14, true},
    {"fifteenth", Kind::teen, 15, true},
    {"sixteenth", Kind::teen, 16, true},
    {"seventeenth", Kind::teen, 17, true},
    {"eighteenth", Kind::teen, 18, true},
    {"nineteenth", Kind::teen, 19, true},
    {"twentieth", Kind::tens, 20, true},
    {"thirtieth", Kind::tens, 30, true},
    {"fortieth", Kind::tens, 40, true},
    {"fiftieth", Kind::tens, 50, true},
    {"sixtieth", Kind::tens, 60, true},
    {"seventieth", Kind::tens, 70, true},
    {"eightieth", Kind::tens, 80, true},
    {"ninetieth", Kind::tens, 90, true},
    {"hundredth", Kind::hundred, 100, true},
    {"thousandth", Kind::scale, 1'000, true},
    {"millionth", Kind::scale, 1'000'000, true},
    {"billionth", Kind::scale, 1'000'000'000, true},
};

constexpr std::string_view months[] = {"january",   "february", "march",    "april",
                                       "may",       "june",     "july",     "august",
                                       "september", "october",  "november", "december"};
// Month names that are also common words ("the march began", "may I"): a
// month only when a day or a year follows.
constexpr std::string_view wordsAsWellAsMonths[] = {"march", "may"};
constexpr std::string_view weekdays[] = {"monday", "tuesday",  "wednesday", "thursday",
                                         "friday", "saturday", "sunday"};
// Written after a figure, which they put in figures even when it is one to nine.
constexpr std::string_view units[] = {
    "meter",      "meters",      "metre",      "metres",      "kilometer", "kilometers",
    "centimeter", "centimeters", "millimeter", "millimeters", "mile",      "miles",
    "feet",       "inch",        "inches",     "yard",        "yards",     "gram",
    "grams",      "kilogram",    "kilograms",  "kilo",        "kilos",     "pound",
    "pounds",     "ounce",       "ounces",     "liter",       "liters",    "litre",
    "litres",     "gallon",      "gallons",    "degree",      "degrees",   "volt",
    "volts",      "watt",        "watts",      "kilowatt",    "kilowatts", "hertz",
    "byte",       "bytes",       "kilobyte",   "kilobytes",   "megabyte",  "megabytes",
    "gigabyte",   "gigabytes",   "terabyte",   "terabytes",   "mph",
};

template <size_t N>
bool isOneOf(std::string_view word, const std::string_view (&list)[N]) {
  return std::find(std::begin(list), std::end(list), word) != std::end(list);
}

const NumberWord* numberWord(std::string_view word) {
  for (const NumberWord& entry : numberWords) {
    if (entry.word == word) return &entry;
  }
  return nullptr;
}

// The cardinal at a position, if there is one.
const NumberWord* cardinalAt(const Words& words, size_t i) {
  const NumberWord* entry = i < words.size() ? numberWord(words[i]) : nullptr;
  return entry != nullptr && !entry->ordinal ? entry : nullptr;
}

bool isOneToNine(const NumberWord* entry) {
  return entry != nullptr && entry->kind == Kind::unit && entry->value > 0;
}

// One to ninety-nine, or its ordinal: what may follow "and" in a number.
bool isBelowHundred(const NumberWord* entry) {
  return entry != nullptr && entry->value > 0 &&
         (entry->kind == Kind::unit || entry->kind == Kind::teen || entry->kind == Kind::tens);
}

// One to nine, or zero and "oh" read out as digits.
std::optional<char> digitOf(std::string_view word) {
  if (word == "oh" || word == "zero") return '0';
  const NumberWord* entry = numberWord(word);
  if (entry == nullptr || entry->ordinal || entry->kind != Kind::unit) return std::nullopt;
  return static_cast<char>('0' + entry->value);
}

bool at(const Words& words, size_t i, std::string_view word) {
  return i < words.size() && words[i] == word;
}

std::string capitalized(std::string_view word) {
  std::string text(word);
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 32);
  return text;
}

// Four digits stay together (1908, 2010); longer figures are grouped by three.
std::string figures(int64_t value) {
  std::string digits = std::to_string(value);
  if (digits.size() <= 4) return digits;
  std::string grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

std::string ordinalFigures(int64_t value) {
  int64_t lastTwo = value % 100;
  const char* suffix = "th";
  if (lastTwo < 11 || lastTwo > 13) {
    switch (value % 10) {
      case 1:
        suffix = "st";
        break;
      case 2:
        suffix = "nd";
        break;
      case 3:
        suffix = "rd";
        break;
      default:
        break;
    }
  }
  return figures(value) + suffix;
}

// A number spoken as words, "forty two", "three hundred and five", "twenty
// first", "two point five", "three million".
struct Number {
  size_t start = 0;
  size_t end = 0;  // past its last word
  int64_t value = 0;
  bool ordinal = false;
  std::string fraction;  // the digits after "point"
  // Whole millions or billions keep their scale word: "3 million".
  int64_t scale = 0;

  size_t words() const { return end - start; }
  bool isWhole() const { return fraction.empty() && scale == 0; }
};

// The longest number the words make from `start`, read the way numbers are
// spoken: each part may only follow the parts that can precede it, so two
// numbers said one after the other ("one two", "five twenty") stay apart.
std::optional<Number> readNumber(const Words& words, size_t start) {
  enum class After { nothing, zero, small, tens, hundred, scale, conjunction };
  After after = After::nothing;
  Number number;
  number.start = number.end = start;
  int64_t group = 0;  // below a thousand, not yet multiplied by a scale
  int64_t lastScale = INT64_MAX;
  size_t i = start;
  for (; i < words.size() && !number.ordinal && after != After::zero; ++i) {
    std::string_view word = words[i];
    if (word == "and") {
      bool joins = (after == After::hundred || after == After::scale) && i + 1 < words.size() &&
                   isBelowHundred(numberWord(words[i + 1]));
      if (!joins) break;
      after = After::conjunction;
      continue;
    }
    const NumberWord* entry = numberWord(word);
    if (entry == nullptr) break;
    bool fits = false;
    switch (entry->kind) {
      case Kind::unit:
      case Kind::teen:
      case Kind::tens:
        if (entry->value == 0) {
          // Zero stands alone, or before a decimal point.
          fits = after == After::nothing && !entry->ordinal;
          if (fits) after = After::zero;
          break;
        }
        fits = after == After::nothing || after == After::hundred || after == After::scale ||
               after == After::conjunction || (after == After::tens && entry->kind == Kind::unit);
        if (fits) {
          group += entry->value;
          after = entry->kind == Kind::tens ? After::tens : After::small;
        }
        break;
      case Kind::hundred:
        fits = (after == After::small || after == After::tens) && group < 100;
        if (fits) {
          group *= 100;
          after = After::hundred;
        }
        break;
      case Kind::scale:
        fits = (after == After::small || after == After::tens || after == After::hundred) &&
               entry->value < lastScale;
        if (fits) {
          number.value += group * entry->value;
          group = 0;
          lastScale = entry->value;
          after = After::scale;
        }
        break;
    }
    if (!fits) break;
    number.ordinal = entry->ordinal;
  }
  if (i == start) return std::nullopt;
  number.end = i;
  number.value += group;
  if (number.ordinal) return number;

  // A decimal part, read out digit by digit.
  if (at(words, i, "point") && i + 1 < words.size() && digitOf(words[i + 1])) {
    for (++i; i < words.size() && digitOf(words[i]); ++i) number.fraction += *digitOf(words[i]);
    number.end = i;
  }
  // Whole millions and billions, "3 million" and "2.5 billion".
  const NumberWord* last = numberWord(words[number.end - 1]);
  bool endsInLargeScale = last != nullptr && last->kind == Kind::scale && last->value >= 1'000'000;
  bool fractionOfLargeScale = !number.fraction.empty() && number.end < words.size() &&
                              (words[number.end] == "million" || words[number.end] == "billion");
  if (fractionOfLargeScale) {
    number.scale = numberWord(words[number.end])->value;
    ++number.end;
  } else if (endsInLargeScale && number.fraction.empty() && group == 0) {
    number.scale = last->value;
    number.value /= last->value;
  }
  return number;
}

// The number in figures. inFigures: its context wants figures even for one to
// nine (a unit, currency, a date).
std::string written(const Number& number, const Words& words, bool inFigures) {
  bool small = number.words() == 1 && number.value < 10;
  if (small && !inFigures) return std::string(words[number.start]);
  if (number.ordinal) return ordinalFigures(number.value);
  std::string text = figures(number.value);
  if (!number.fraction.empty()) text += "." + number.fraction;
  if (number.scale == 1'000'000) text += " million";
  if (number.scale == 1'000'000'000) text += " billion";
  return text;
}

// The second half of a pair, as years and clock times say it: "oh five" 5,
// "fifteen", "forty two".
std::optional<Number> readPairHalf(const Words& words, size_t start) {
  Number half;
  half.start = start;
  if (at(words, start, "oh")) {
    const NumberWord* digit = cardinalAt(words, start + 1);
    if (!isOneToNine(digit)) return std::nullopt;
    half.value = digit->value;
    half.end = start + 2;
    return half;
  }
  const NumberWord* first = cardinalAt(words, start);
  if (first == nullptr || (first->kind != Kind::teen && first->kind != Kind::tens)) {
    return std::nullopt;
  }
  half.value = first->value;
  half.end = start + 1;
  const NumberWord* unit = cardinalAt(words, half.end);
  if (first->kind == Kind::tens && isOneToNine(unit)) {
    half.value += unit->value;
    ++half.end;
  }
  return half;
}

// Two-part years, "nineteen oh eight" 1908, "fourteen fifty five" 1455, "twenty
// ten" 2010. The first part is thirteen to twenty: ten, eleven and twelve
// followed by minutes are more often a time of day than a year.
std::optional<Number> readPairedYear(const Words& words, size_t start) {
  const NumberWord* century = cardinalAt(words, start);
  if (century == nullptr || century->value < 13 || century->value > 20) return std::nullopt;
  auto year = readPairHalf(words, start + 1);
  if (!year) return std::nullopt;
  year->start = start;
  year->value += century->value * 100;
  return year;
}

// A year after a month or a day: paired, or a cardinal such as "two thousand
// and ten".
std::optional<Number> readYear(const Words& words, size_t start) {
  if (auto year = readPairedYear(words, start)) return year;
  auto number = readNumber(words, start);
  if (number && number->isWhole() && !number->ordinal && number->value >= 1000 &&
      number->value < 3000) {
    return number;
  }
  return std::nullopt;
}

// A day of the month, "third", "sixteen", "twenty first".
std::optional<Number> readDay(const Words& words, size_t start) {
  auto number = readNumber(words, start);
  if (number && number->isWhole() && number->value >= 1 && number->value <= 31) return number;
  return std::nullopt;
}

// What one rule made of the words from a position: the text, and where the
// next rule starts.
struct Piece {
  std::string text;
  size_t end;
};

std::optional<Piece> date(const Words& words, size_t i) {
  if (!isOneOf(words[i], months)) return std::nullopt;
  std::string month = capitalized(words[i]);
  size_t next = i + 1;
  // "March the 3rd": the article is kept.
  if (at(words, next, "the")) {
    auto day = readDay(words, next + 1);
    if (day && day->ordinal) return Piece{month + " the " + ordinalFigures(day->value), day->end};
    return std::nullopt;
  }
  auto day = readDay(words, next);
  if (day) {
    if (auto year = readYear(words, day->end)) {
      return Piece{month + " " + figures(day->value) + ", " + std::to_string(year->value),
                   year->end};
    }
  }
  if (auto year = readYear(words, next)) {
    return Piece{month + " " + std::to_string(year->value), year->end};
  }
  if (day) return Piece{month + " " + figures(day->value), day->end};
  return std::nullopt;
}

// "the third of march [nineteen oh eight]": the 3rd of March.
std::optional<Piece> dayOfMonth(const Words& words, const Number& day) {
  if (!day.ordinal || day.value > 31 || !at(words, day.end, "of") || day.end + 1 >= words.size() ||
      !isOneOf(words[day.end + 1], months)) {
    return std::nullopt;
  }
  Piece piece{ordinalFigures(day.value) + " of " + capitalized(words[day.end + 1]), day.end + 2};
  if (auto year = readYear(words, piece.end)) {
    piece.text += " " + std::to_string(year->value);
    piece.end = year->end;
  }
  return piece;
}

// "a m", "a. m.", "am", and the same for p.m.
std::optional<Piece> meridiem(const Words& words, size_t i) {
  if (i >= words.size()) return std::nullopt;
  if (words[i] == "am" || words[i] == "pm") return Piece{words[i] == "am" ? "AM" : "PM", i + 1};
  bool morning = words[i] == "a" || words[i] == "a.";
  bool afternoon = words[i] == "p" || words[i] == "p.";
  if ((morning || afternoon) && (at(words, i + 1, "m") || at(words, i + 1, "m."))) {
    return Piece{morning ? "AM" : "PM", i + 2};
  }
  return std::nullopt;
}

// "five thirty p m" 5:30 PM, "seven oh five a m" 7:05 AM, "ten o'clock".
std::optional<Piece> timeOfDay(const Words& words, size_t i) {
  const NumberWord* hour = cardinalAt(words, i);
  if (hour == nullptr || hour->value < 1 || hour->value > 12) {
    return std::nullopt;
  }
  std::string text = std::to_string(hour->value);
  if (at(words, i + 1, "o'clock")) return Piece{text + " o'clock", i + 2};
  size_t next = i + 1;
  std::string minutes;
  auto half = readPairHalf(words, next);
  if (half && half->value < 60) {
    minutes = (half->value < 10 ? "0" : "") + std::to_string(half->value);
    next = half->end;
  }
  auto suffix = meridiem(words, next);
  if (!suffix) return std::nullopt;
  if (!minutes.empty()) text += ":" + minutes;
  return Piece{text + " " + suffix->text, suffix->end};
}

// Digits read out one by one, "one five oh four four": 15044. Starts with a
// digit other than "oh", which alone is mostly the exclamation.
std::optional<Piece> digitString(const Words& words, size_t i) {
  if (words[i] == "oh" || !digitOf(words[i]) || i + 1 >= words.size() || !digitOf(words[i + 1])) {
    return std::nullopt;
  }
  Piece piece{"", i};
  for (; piece.end < words.size() && digitOf(words[piece.end]); ++piece.end) {
    piece.text += *digitOf(words[piece.end]);
  }
  return piece;
}

// A number, and what the words after it make of it: money, percent, a
// measure, a date.
std::optional<Piece> quantity(const Words& words, size_t i) {
  auto number = readNumber(words, i);
  if (!number) return std::nullopt;
  size_t next = number->end;
  std::string_view after = next < words.size() ? words[next] : std::string_view();
  if (after == "dollars" || after == "dollar") {
    std::string amount = "$" + written(*number, words, true);
    if (number->fraction.size() == 1 && number->scale == 0) amount += "0";
    // "eight dollars and fifty cents": $8.50.
    if (number->isWhole() && at(words, next + 1, "and")) {
      auto cents = readNumber(words, next + 2);
      if (cents && cents->isWhole() && !cents->ordinal && cents->value < 100 &&
          (at(words, cents->end, "cents") || at(words, cents->end, "cent"))) {
        std::string digits = std::to_string(cents->value);
        return Piece{amount + "." + (digits.size() == 1 ? "0" : "") + digits, cents->end + 1};
      }
    }
    return Piece{amount, next + 1};
  }
  if (number->ordinal) {
    if (auto piece = dayOfMonth(words, *number)) return piece;
    return Piece{written(*number, words, false), next};
  }
  size_t percentEnd = after == "percent"                              ? next + 1
                      : after == "per" && at(words, next + 1, "cent") ? next + 2
                                                                      : 0;
  if (percentEnd != 0) {
    // "3 million percent" rather than a sign after a word.
    std::string sign = number->scale == 0 ? "%" : " percent";
    return Piece{written(*number, words, true) + sign, percentEnd};
  }
  if (after == "euros" || after == "euro") {
    return Piece{"€" + written(*number, words, true), next + 1};
  }
  if (after == "cents" || after == "cent" || isOneOf(after, units)) {
    return Piece{written(*number, words, true) + " " + std::string(after), next + 1};
  }
  return Piece{written(*number, words, false), next};
}

std::string plainWord(std::string_view word) {
  if (word == "i" || word == "i'm" || word == "i'll" || word == "i've" || word == "i'd") {
    return capitalized(word);
  }
  if (isOneOf(word, weekdays) || (isOneOf(word, months) && !isOneOf(word, wordsAsWellAsMonths))) {
    return capitalized(word);
  }
  // Plural weekdays, "on mondays".
  if (word.ends_with('s') && isOneOf(word.substr(0, word.size() - 1), weekdays)) {
    return capitalized(word);
  }
  return std::string(word);
}

}  // namespace

std::string displayText(std::string_view lexical) {
  Words words;
  for (size_t at = 0; at < lexical.size();) {
    size_t end = std::min(lexical.find(' ', at), lexical.size());
    if (end > at) words.push_back(lexical.substr(at, end - at));
    at = end + 1;
  }

  std::string text;
  for (size_t i = 0; i < words.size();) {
    std::optional<Piece> piece = date(words, i);
    if (!piece) piece = timeOfDay(words, i);
    if (!piece) {
      if (auto year = readPairedYear(words, i))
        piece = Piece{std::to_string(year->value), year->end};
    }
    if (!piece) piece = digitString(words, i);
    if (!piece) piece = quantity(words, i);
    if (!piece) piece = Piece{plainWord(words[i]), i + 1};
    if (!text.empty()) text += ' ';
    text += piece->text;
    i = piece->end;
  }
  return capitalized(text);
}

}  // namespace voxline::platform::linux_backend
