#include "ttime.h"

#include <atomic>
#include <cstdio>

namespace {
std::atomic<TtimeHook> ttimeHook{nullptr};
}  // namespace

void set_ttime_hook(TtimeHook hook) { ttimeHook = hook; }

ttime get_ttime(boost::posix_time::ptime time) {
  if (const TtimeHook hook = ttimeHook) hook(time);
  ttime stamp{};
  if (time.is_special()) return stamp;
  const auto date = time.date();
  const auto clock = time.time_of_day();
  const unsigned year = date.year();
  stamp.year_lo = static_cast<std::uint8_t>(year & 0xFFu);
  stamp.year_hi = static_cast<std::uint8_t>(year >> 8);
  stamp.month = static_cast<std::uint8_t>(date.month());
  stamp.day = static_cast<std::uint8_t>(date.day());
  stamp.hour = static_cast<std::uint8_t>(clock.hours());
  stamp.minute = static_cast<std::uint8_t>(clock.minutes());
  stamp.second = static_cast<std::uint8_t>(clock.seconds());
  return stamp;
}

std::string format_ttime(const ttime& stamp) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u",
                static_cast<unsigned>(stamp.year_lo | (stamp.year_hi << 8)),
                static_cast<unsigned>(stamp.month), static_cast<unsigned>(stamp.day),
                static_cast<unsigned>(stamp.hour), static_cast<unsigned>(stamp.minute),
                static_cast<unsigned>(stamp.second));
  return text;
}
