// Diagnostic lines on standard output.
//
// A line is composed from its parts first and then written with one call under one process-wide
// lock and flushed, so lines of several devices never interleave. Composing a line of ordinary
// length allocates nothing.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string_view>

namespace vk::unidata {

void writeLine(std::initializer_list<std::string_view> parts);

// An integer in decimal, as a part of a line.
class DecimalText {
 public:
  explicit DecimalText(long long value);
  explicit DecimalText(unsigned long long value);
  operator std::string_view() const { return {text_, length_}; }

 private:
  char text_[24];
  std::size_t length_;
};

// A number as an output stream writes it by default: six significant digits, fixed or exponent
// form as printf's %g chooses.
class StreamFloatText {
 public:
  explicit StreamFloatText(double value);
  operator std::string_view() const { return {text_, length_}; }

 private:
  char text_[32];
  std::size_t length_;
};

}  // namespace vk::unidata
