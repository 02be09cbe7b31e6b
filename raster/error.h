// How the raster step fails: one exception type whose message is one line
// naming the file (or page, or setting) and what was wrong with it.
#pragma once

#include <stdexcept>
#include <string>

namespace pc50::raster {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& reason) : std::runtime_error(OneLine(reason)) {}

  // text on one line: line breaks and tabs become spaces.
  static std::string OneLine(std::string text) {
    for (char& c : text) {
      if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    }
    return text;
  }
};

}  // namespace pc50::raster
