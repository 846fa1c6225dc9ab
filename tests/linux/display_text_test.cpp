// The recognizer's words as display text: a table of cases a category, and
// properties over generated word sequences, checked against a verbaliser that
// reads display text back to words.

#include "platform/linux/display_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace voxline::platform::linux_backend {
namespace {

using Cases = std::vector<std::pair<const char*, const char*>>;

void expectDisplay(const Cases& cases) {
  for (const auto& [lexical, display] : cases) {
    EXPECT_EQ(displayText(lexical), display) << "from \"" << lexical << "\"";
  }
}

TEST(DisplayText, Capitals) {
  expectDisplay({
      {"go forward ten meters", "Go forward 10 meters"},
      {"then i said i'm sure i'll go and i've been told i'd like it",
       "Then I said I'm sure I'll go and I've been told I'd like it"},
      {"see you on monday or on fridays", "See you on Monday or on Fridays"},
      {"we met in january and left in august", "We met in January and left in August"},
      {"the march began", "The march began"},
      {"we march forward", "We march forward"},
      {"may i come in", "May I come in"},
      {"you may go", "You may go"},
      {"ask bob", "Ask bob"},  // names the recognizer cannot know
      {"", ""},
  });
}

TEST(DisplayText, Cardinals) {
  expectDisplay({
      {"two men", "Two men"},
      {"one of them", "One of them"},
      {"we saw nine birds", "We saw nine birds"},
      {"zero", "Zero"},
      {"ten", "10"},
      {"it was twenty five", "It was 25"},
      {"three hundred", "300"},
      {"one hundred and forty", "140"},
      {"one hundred forty two", "142"},
      {"fifteen hundred", "1500"},
      {"thirty thousand", "30,000"},
      {"two thousand and ten", "2010"},
      {"nine hundred ninety nine thousand nine hundred ninety nine", "999,999"},
      {"one million two hundred thousand", "1,200,000"},
      {"three million people", "3 million people"},
      {"two point five", "2.5"},
      {"three point one four", "3.14"},
      {"two point five billion", "2.5 billion"},
      {"five meters", "5 meters"},
      {"zero degrees", "0 degrees"},
      {"one two", "12"},
  });
}

TEST(DisplayText, Ordinals) {
  expectDisplay({
      {"the first time", "The first time"},
      {"a second time", "A second time"},
      {"on the ninth", "On the ninth"},
      {"the tenth", "The 10th"},
      {"twentieth", "20th"},
      {"twenty first", "21st"},
      {"twenty second", "22nd"},
      {"forty third", "43rd"},
      {"eleventh twelfth thirteenth", "11th 12th 13th"},
      {"one hundred and first", "101st"},
      {"one hundredth", "100th"},
      {"hundredth", "Hundredth"},  // no number before it
  });
}

TEST(DisplayText, YearsAndDates) {
  expectDisplay({
      {"nineteen oh eight", "1908"},
      {"fourteen fifty five", "1455"},
      {"nineteen ninety nine", "1999"},
      {"twenty twenty one", "2021"},
      {"nineteen hundred", "1900"},
      {"in two thousand and five", "In 2005"},
      {"march sixteen nineteen oh eight", "March 16, 1908"},
      {"i paid forty two dollars on march third nineteen twenty eight",
       "I paid $42 on March 3, 1928"},
      {"march nineteen oh eight", "March 1908"},
      {"march twenty twenty", "March 2020"},
      {"may fifth", "May 5"},
      {"june first", "June 1"},
      {"april twenty first twenty ten", "April 21, 2010"},
      {"march the third", "March the 3rd"},
      {"the third of march", "The 3rd of March"},
      {"the fourth of july seventeen seventy six", "The 4th of July 1776"},
      {"september two thousand and one", "September 2001"},
  });
}

TEST(DisplayText, MoneyAndPercent) {
  expectDisplay({
      {"forty two dollars", "$42"},
      {"one dollar", "$1"},
      {"a dollar", "A dollar"},
      {"eight dollars and fifty cents", "$8.50"},
      {"eight dollars and five cents", "$8.05"},
      {"two point five dollars", "$2.50"},
      {"three million dollars", "$3 million"},
      {"thirty thousand dollars", "$30,000"},
      {"fifty cents", "50 cents"},
      {"five cents", "5 cents"},
      {"ten euros", "€10"},
      {"fifty percent", "50%"},
      {"five percent", "5%"},
      {"two point five percent", "2.5%"},
      {"ten per cent", "10%"},
      {"eight dollars and fifty", "$8 and 50"},  // the cents not said yet
  });
}

TEST(DisplayText, Times) {
  expectDisplay({
      {"five thirty p m", "5:30 PM"},
      {"seven oh five a m", "7:05 AM"},
      {"at eleven fifteen pm", "At 11:15 PM"},
      {"twelve forty five a. m.", "12:45 AM"},
      {"five p m", "5 PM"},
      {"ten o'clock", "10 o'clock"},
      {"at three o'clock", "At 3 o'clock"},
      {"ten thirty", "10 30"},  // a clock time only with a.m., p.m. or o'clock
  });
}

TEST(DisplayText, DigitsReadOneByOne) {
  expectDisplay({
      {"one five oh four four", "15044"},
      {"call nine one one", "Call 911"},
      {"zero one two", "012"},
      {"room four oh two", "Room 402"},
      {"oh two", "Oh two"},  // "oh" alone first is the exclamation
  });
}

// Display text read back to words, written the other way round from the
// formatter: figures to words, the way a person reads them out.
class Verbaliser {
 public:
  explicit Verbaliser(uint32_t seed) : random_(seed) {}

  std::string spoken(const std::string& display) {
    std::vector<std::string> tokens;
    std::istringstream in(display);
    for (std::string token; in >> token;) tokens.push_back(token);
    std::vector<std::string> words;
    for (size_t i = 0; i < tokens.size(); ++i) {
      std::string token = tokens[i];
      std::string next = i + 1 < tokens.size() ? tokens[i + 1] : "";
      if (token.ends_with(',')) token.pop_back();
      if (isMonth(lower(token)) && isDayOrYear(next)) {
        // A month, its day in words, then a year.
        words.push_back(lower(token));
        std::string day = tokens[++i];
        bool hasYear = day.ends_with(',');
        if (hasYear) day.pop_back();
        if (day.size() == 4) {
          words.push_back(year(std::stoi(day)));
        } else {
          words.push_back(pick(cardinal(std::stoll(day)), ordinal(std::stoll(day))));
          if (hasYear) words.push_back(year(std::stoi(tokens[++i])));
        }
      } else if (token[0] == '$') {
        std::string amount = token.substr(1);
        std::string scale = next == "million" || next == "billion" ? next : "";
        if (!scale.empty()) ++i;
        if (size_t point = amount.find('.'); point != std::string::npos && scale.empty()) {
          words.push_back(number(amount.substr(0, point)) + " dollars and " +
                          cardinal(std::stoll(amount.substr(point + 1))) + " cents");
        } else {
          std::string count = number(amount) + (scale.empty() ? "" : " " + scale);
          words.push_back(count + (count == "one" ? " dollar" : " dollars"));
        }
      } else if (token.starts_with("€")) {
        words.push_back(number(token.substr(std::string("€").size())) + " euros");
      } else if (token.ends_with('%')) {
        words.push_back(number(token.substr(0, token.size() - 1)) + " percent");
      } else if (size_t colon = token.find(':'); colon != std::string::npos) {
        int minutes = std::stoi(token.substr(colon + 1));
        words.push_back(cardinal(std::stoll(token.substr(0, colon))) + " " +
                        (minutes < 10 ? "oh " + cardinal(minutes) : cardinal(minutes)));
      } else if (token == "AM" || token == "PM") {
        std::string letter = token == "AM" ? "a" : "p";
        words.push_back(pick(letter + " m", lower(token), letter + ". m."));
      } else if (startsWithDigit(token)) {
        words.push_back(figure(token));
      } else {
        words.push_back(lower(token));
      }
    }
    std::string text;
    for (const std::string& word : words) text += (text.empty() ? "" : " ") + word;
    return text;
  }

  static std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  }

  static bool isMonth(const std::string& word) {
    static const std::set<std::string> months = {"january",   "february", "march",    "april",
                                                 "may",       "june",     "july",     "august",
                                                 "september", "october",  "november", "december"};
    return months.contains(word);
  }

  static std::string cardinal(long long n) {
    static const char* small[] = {"zero",    "one",     "two",       "three",    "four",
                                  "five",    "six",     "seven",     "eight",    "nine",
                                  "ten",     "eleven",  "twelve",    "thirteen", "fourteen",
                                  "fifteen", "sixteen", "seventeen", "eighteen", "nineteen"};
    static const char* tens[] = {"",      "",      "twenty",  "thirty", "forty",
                                 "fifty", "sixty", "seventy", "eighty", "ninety"};
    if (n < 20) return small[n];
    if (n < 100) return std::string(tens[n / 10]) + (n % 10 ? " " + cardinal(n % 10) : "");
    for (auto [size, name] : {std::pair{1'000'000'000LL, "billion"},
                              {1'000'000LL, "million"},
                              {1'000LL, "thousand"},
                              {100LL, "hundred"}}) {
      if (n >= size) {
        return cardinal(n / size) + " " + name + (n % size ? " " + cardinal(n % size) : "");
      }
    }
    return "";
  }

  static std::string ordinal(long long n) {
    std::string words = cardinal(n);
    size_t last = words.rfind(' ') + 1;
    std::string word = words.substr(last);
    static const std::vector<std::pair<std::string, std::string>> irregular = {
        {"one", "first"},    {"two", "second"}, {"three", "third"},   {"five", "fifth"},
        {"eight", "eighth"}, {"nine", "ninth"}, {"twelve", "twelfth"}};
    for (const auto& [plain, th] : irregular) {
      if (word == plain) return words.substr(0, last) + th;
    }
    if (word.ends_with('y'))
      return words.substr(0, last) + word.substr(0, word.size() - 1) + "ieth";
    return words + "th";
  }

 private:
  // "3", "16," or "1908": what follows a month in a date.
  static bool isDayOrYear(std::string token) {
    if (token.ends_with(',')) token.pop_back();
    return !token.empty() && token.size() <= 4 &&
           std::all_of(token.begin(), token.end(), [](char c) { return c >= '0' && c <= '9'; });
  }

  static bool startsWithDigit(const std::string& token) {
    return !token.empty() && std::isdigit(static_cast<unsigned char>(token[0]));
  }

  template <typename... Choices>
  std::string pick(const std::string& first, const Choices&... rest) {
    std::vector<std::string> choices = {first, rest...};
    return choices[random_() % choices.size()];
  }

  // A year as people say it: in pairs, "oh" for a lone digit, "two thousand
  // and five" early in the century.
  std::string year(int y) {
    if (y == 2000) return "two thousand";
    if (y > 2000 && y < 2010) return pick("two thousand and ", "two thousand ") + cardinal(y % 100);
    if (y % 100 == 0) return cardinal(y / 100) + " hundred";
    return cardinal(y / 100) + " " + (y % 100 < 10 ? "oh " + cardinal(y % 100) : cardinal(y % 100));
  }

  // "and" after hundreds and thousands, as often said as not.
  std::string number(const std::string& digits) {
    std::string plain;
    for (char c : digits) {
      if (c != ',') plain += c;
    }
    long long n = std::stoll(plain);
    std::string words = cardinal(n);
    if (n >= 100 && n % 100 != 0 && random_() % 2) {
      std::string last = cardinal(n % 100);
      words = words.substr(0, words.size() - last.size()) + "and " + last;
    }
    return words;
  }

  std::string figure(const std::string& token) {
    std::string digits = token;
    std::string suffix;
    while (!digits.empty() && std::isalpha(static_cast<unsigned char>(digits.back()))) {
      suffix.insert(0, 1, digits.back());
      digits.pop_back();
    }
    if (!suffix.empty()) return ordinal(std::stoll(digits));
    if (size_t point = digits.find('.'); point != std::string::npos) {
      std::string words = number(digits.substr(0, point)) + " point";
      for (char c : digits.substr(point + 1)) words += " " + cardinal(c - '0');
      return words;
    }
    bool grouped = digits.find(',') != std::string::npos;
    if (!grouped && digits.size() >= 5) {
      // A digit string, read out one by one.
      std::string words;
      for (char c : digits)
        words += (words.empty() ? "" : " ") + (c == '0' ? pick("oh", "zero") : cardinal(c - '0'));
      return words;
    }
    if (!grouped && digits.size() == 4) return year(std::stoi(digits));
    return number(digits);
  }

  std::mt19937 random_;
};

// Display texts as the formatter should write them: the parts of the style,
// with ordinary words between them so that no two numbers touch.
class Generator {
 public:
  explicit Generator(uint32_t seed) : random_(seed) {}

  std::string sentence() {
    std::string text;
    int parts = 1 + upTo(5);
    for (int i = 0; i < parts; ++i) {
      text += (text.empty() ? "" : " ") + filler() + " " + part();
    }
    if (upTo(2)) text += " " + filler();
    text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    return text;
  }

  std::string filler() {
    static const char* words[] = {"we",  "went",   "home", "after", "I",    "it",
                                  "was", "Monday", "blue", "house", "said", "left"};
    return words[upTo(std::size(words))];
  }

 private:
  int upTo(size_t n) { return static_cast<int>(random_() % n); }
  long long between(long long low, long long high) {
    return low +
           static_cast<long long>(random_() % static_cast<unsigned long long>(high - low + 1));
  }

  static std::string grouped(long long n) {
    std::string digits = std::to_string(n);
    if (digits.size() <= 4) return digits;
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
      if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
      out += digits[i];
    }
    return out;
  }

  static std::string suffixed(long long n) {
    long long lastTwo = n % 100;
    if (lastTwo >= 11 && lastTwo <= 13) return std::to_string(n) + "th";
    switch (n % 10) {
      case 1:
        return std::to_string(n) + "st";
      case 2:
        return std::to_string(n) + "nd";
      case 3:
        return std::to_string(n) + "rd";
      default:
        return std::to_string(n) + "th";
    }
  }

  // Years people say in pairs.
  int pairedYear() {
    int y = static_cast<int>(between(1300, 2089));
    return y >= 2000 && y < 2010 ? y + 10 : y;
  }

  std::string month() {
    static const char* names[] = {"January",   "February", "March",    "April",
                                  "May",       "June",     "July",     "August",
                                  "September", "October",  "November", "December"};
    return names[upTo(12)];
  }

  std::string part() {
    static const char* smallWords[] = {"one", "two",   "three", "four", "five",
                                       "six", "seven", "eight", "nine"};
    static const char* units[] = {"meters", "miles", "degrees", "kilograms"};
    switch (upTo(16)) {
      case 0:
        return smallWords[upTo(9)];
      case 1:
        return std::to_string(between(10, 999));
      case 2:
        return grouped(between(10'000, 999'999'999));
      case 3:
        return std::to_string(pairedYear());
      case 4:
        return std::to_string(between(2000, 2009));
      case 5:
        return suffixed(between(10, 999));
      case 6:
        return "$" + grouped(between(1, 99'999));
      case 7:
        return "$" + std::to_string(between(1, 99)) + "." + std::to_string(between(10, 99));
      case 8:
        return "$" + std::to_string(between(2, 999)) + " million";
      case 9:
        return std::to_string(between(1, 100)) + "%";
      case 10: {
        long long minutes = between(1, 59);
        return std::to_string(between(1, 12)) + ":" + (minutes < 10 ? "0" : "") +
               std::to_string(minutes) + (upTo(2) ? " AM" : " PM");
      }
      case 11:
        return std::to_string(between(1, 12)) + " o'clock";
      case 12: {
        std::string date = month() + " " + std::to_string(between(1, 31));
        return upTo(2) ? date + ", " + std::to_string(pairedYear()) : date;
      }
      case 13:
        return "the " + suffixed(between(1, 31)) + " of " + month();
      case 14:
        return std::to_string(between(1, 9)) + std::to_string(between(1000, 9999999));
      default:
        return upTo(2) ? std::to_string(between(1, 999)) + " " + units[upTo(4)]
                       : std::to_string(between(0, 99)) + "." + std::to_string(between(1, 9));
    }
  }

  std::mt19937 random_;
};

TEST(DisplayTextProperty, SaidAsWrittenComesBackAsWritten) {
  Generator generator(20261211);
  Verbaliser verbaliser(7);
  for (int i = 0; i < 5000; ++i) {
    std::string display = generator.sentence();
    std::string lexical = verbaliser.spoken(display);
    ASSERT_EQ(displayText(lexical), display) << "said as \"" << lexical << "\"";
  }
}

// The formatter's vocabulary: words that can be part of a number, date, time,
// amount or measure. Everything else is an ordinary word.
const std::set<std::string> numberVocabulary = [] {
  std::set<std::string> words = {
      "and",      "oh",      "point",   "of",        "the",       "a",       "a.",      "m",
      "m.",       "p",       "p.",      "am",        "pm",        "o'clock", "dollars", "dollar",
      "cents",    "cent",    "percent", "per",       "euros",     "meters",  "miles",   "hundred",
      "thousand", "million", "billion", "hundredth", "thousandth"};
  for (long long n = 0; n < 100; ++n) {
    words.insert(Verbaliser::cardinal(n).substr(Verbaliser::cardinal(n).rfind(' ') + 1));
    words.insert(Verbaliser::ordinal(n).substr(Verbaliser::ordinal(n).rfind(' ') + 1));
  }
  for (const char* month : {"january", "february", "march", "april", "may", "june", "july",
                            "august", "september", "october", "november", "december"}) {
    words.insert(month);
  }
  return words;
}();

// Word sequences of every kind, numbers half-said and run together included.
std::vector<std::string> wordSoup(std::mt19937& random) {
  static const std::vector<std::string> ordinary = {"we",   "went", "home",  "blue",
                                                    "said", "left", "house", "it"};
  std::vector<std::string> vocabulary(numberVocabulary.begin(), numberVocabulary.end());
  std::vector<std::string> words(1 + random() % 14);
  for (std::string& word : words) {
    word = random() % 3 == 0 ? ordinary[random() % ordinary.size()]
                             : vocabulary[random() % vocabulary.size()];
  }
  return words;
}

std::string joined(const std::vector<std::string>& words, size_t count) {
  std::string text;
  for (size_t i = 0; i < count; ++i) text += (i ? " " : "") + words[i];
  return text;
}

std::vector<std::string> ordinaryWords(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(Verbaliser::lower(text));
  for (std::string word; in >> word;) {
    if (!numberVocabulary.contains(word)) words.push_back(word);
  }
  return words;
}

TEST(DisplayTextProperty, NoOrdinaryWordIsLostOrMoved) {
  std::mt19937 random(11);
  Verbaliser verbaliser(3);
  for (int i = 0; i < 20000; ++i) {
    std::vector<std::string> words = wordSoup(random);
    std::string lexical = joined(words, words.size());
    std::string display = displayText(lexical);
    ASSERT_EQ(ordinaryWords(verbaliser.spoken(display)), ordinaryWords(lexical))
        << "\"" << lexical << "\" became \"" << display << "\"";
    ASSERT_EQ(display.find("  "), std::string::npos) << display;
  }
}

TEST(DisplayTextProperty, LongerPartialsKeepWhatCameBeforeTheLastNumber) {
  std::mt19937 random(5);
  for (int i = 0; i < 5000; ++i) {
    std::vector<std::string> words = wordSoup(random);
    std::string whole = displayText(joined(words, words.size()));
    for (size_t count = 1; count < words.size(); ++count) {
      // Up to the ordinary word before the number or date still being spoken.
      size_t settled = count;
      while (settled > 0 && numberVocabulary.contains(words[settled - 1])) --settled;
      if (settled == 0) continue;
      std::string before = displayText(joined(words, settled));
      ASSERT_TRUE(whole.starts_with(before + " ") || whole == before)
          << "\"" << joined(words, count) << "\" then \"" << joined(words, words.size()) << "\": \""
          << before << "\" is not kept in \"" << whole << "\"";
    }
  }
}

}  // namespace
}  // namespace voxline::platform::linux_backend
