// Reads one lexical transcription a line on standard input and writes its
// display text a line on standard output, flushed per line: the recognizer's
// formatting, for benchmarks and for anyone judging it.

#include <iostream>
#include <string>

#include "platform/linux/display_text.h"

int main() {
  for (std::string line; std::getline(std::cin, line);) {
    std::cout << voxline::platform::linux_backend::displayText(line) << std::endl;
  }
}
