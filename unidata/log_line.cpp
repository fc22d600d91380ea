#include "unidata/log_line.h"

#include <charconv>
#include <iostream>
#include <mutex>
#include <string>

namespace vk::unidata {

namespace {

std::mutex& outputLock() {
  static std::mutex lock;
  return lock;
}

void writeComposed(const char* text, std::size_t length) {
  std::lock_guard<std::mutex> lock(outputLock());
  std::cout.write(text, static_cast<std::streamsize>(length));
  std::cout.flush();
}

}  // namespace

void writeLine(std::initializer_list<std::string_view> parts) {
  std::size_t length = 1;  // the newline
  for (std::string_view part : parts) length += part.size();

  char small[256];
  std::string large;
  char* out = small;
  if (length > sizeof small) {
    large.resize(length);
    out = large.data();
  }
  char* end = out;
  for (std::string_view part : parts) {
    part.copy(end, part.size());
    end += part.size();
  }
  *end = '\n';
  writeComposed(out, length);
}

DecimalText::DecimalText(long long value) {
  length_ = static_cast<std::size_t>(std::to_chars(text_, text_ + sizeof text_, value).ptr - text_);
}

DecimalText::DecimalText(unsigned long long value) {
  length_ = static_cast<std::size_t>(std::to_chars(text_, text_ + sizeof text_, value).ptr - text_);
}

// to_chars with a precision writes what printf's "%.6g" writes in the C locale ("nan", "-nan",
// "inf" included), without printf's cost.
StreamFloatText::StreamFloatText(double value) {
  length_ = static_cast<std::size_t>(
      std::to_chars(text_, text_ + sizeof text_, value, std::chars_format::general, 6).ptr - text_);
}

}  // namespace vk::unidata
