// The host's 7-byte time stamp.
#pragma once

#include <boost/date_time/posix_time/ptime.hpp>
#include <cstdint>
#include <string>

// Packing: year as 16-bit little-endian (bytes 0-1), then month (1-12), day (1-31), hour,
// minute and second, one byte each. All fields are bytes so the layout does not depend on the
// byte order or alignment of the machine.
struct ttime {
  std::uint8_t year_lo;
  std::uint8_t year_hi;
  std::uint8_t month;
  std::uint8_t day;
  std::uint8_t hour;
  std::uint8_t minute;
  std::uint8_t second;
};
static_assert(sizeof(ttime) == 7, "ttime is 7 bytes");

// Converts a local time to the host's time stamp. A time without a date gives all zero bytes.
ttime get_ttime(boost::posix_time::ptime time);

// Stand-in seam: a function that get_ttime calls first, on the calling thread, with the time it
// converts; it may throw to simulate a failing host. A plain function, so that a round still
// allocates nothing. Null (the default) removes it.
using TtimeHook = void (*)(boost::posix_time::ptime time);
void set_ttime_hook(TtimeHook hook);

// "YYYY-MM-DD HH:MM:SS", for people reading stored or published records.
std::string format_ttime(const ttime& stamp);
