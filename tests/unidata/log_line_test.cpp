// Diagnostic lines: a value line's number as printf's "%g" writes it, and each line on standard
// output as soon as it is written.
#include "unidata/log_line.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <limits>
#include <string_view>

// A value line's number is written as printf's "%g" writes it, including for the values whose
// rounding or form is easiest to get wrong.
TEST(ValueText, MatchesPrintfG) {
  const float infinity = std::numeric_limits<float>::infinity();
  std::vector<float> values = {0.0f,       -0.0f,     1.0f,      0.1f,          0.0001f,
                               0.00001f,   999999.0f, 999999.5f, 1000000.0f,    1234567.0f,
                               9999995.0f, 16.75f,    -31.25f,   3.4028235e38f, 1.17549435e-38f,
                               1e-45f,     infinity,  -infinity, std::nanf(""), -std::nanf("")};
  for (std::uint32_t bits = 0x3F7FFF00u; bits < 0x3F800100u; ++bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    values.push_back(value);
  }
  for (const float value : values) {
    char expected[32];
    std::snprintf(expected, sizeof expected, "%g", static_cast<double>(value));
    EXPECT_EQ(std::string_view(vk::unidata::StreamFloatText(static_cast<double>(value))),
              std::string_view(expected));
  }
}

// A line reaches file descriptor 1 when writeLine returns, not when the process exits: the host
// and an integrator's log reader see each line as it happens. Standard output is a pipe here, as
// under a supervisor, so nothing but an explicit flush pushes the stream's buffer out.
TEST(DiagnosticLine, IsReadableOnDescriptorOneAtOnce) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ASSERT_EQ(::fcntl(ends[0], F_SETFL, O_NONBLOCK), 0);
  std::fflush(stdout);
  std::cout.flush();
  const int saved = ::dup(1);
  ASSERT_GE(saved, 0);
  ASSERT_EQ(::dup2(ends[1], 1), 1);

  std::vector<std::string> readable;
  for (const char* part : {"first", "second"}) {
    vk::unidata::writeLine({part, " line"});
    char buffer[64];
    const ssize_t size = ::read(ends[0], buffer, sizeof buffer);
    readable.push_back(size < 0 ? std::string("nothing, errno ") + std::to_string(errno)
                                : std::string(buffer, static_cast<std::size_t>(size)));
  }

  std::cout.flush();
  ::dup2(saved, 1);
  ::close(saved);
  ::close(ends[0]);
  ::close(ends[1]);
  EXPECT_EQ(readable, (std::vector<std::string>{"first line\n", "second line\n"}));
}
