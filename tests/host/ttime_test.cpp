// The host's time stamp of a local time.
#include "ttime.h"

#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <iterator>
#include <utility>
#include <vector>

using Bytes = std::vector<unsigned char>;

// The host's conversion, at the edges of each field; a time without a date is all zeros.
TEST(HostTimeStamp, PacksEachFieldInItsByte) {
  using boost::gregorian::date;
  using boost::posix_time::ptime;
  using boost::posix_time::time_duration;
  const std::pair<ptime, Bytes> cases[] = {
      {ptime(date(2026, 12, 8), time_duration(9, 5, 3)), {0xEA, 0x07, 12, 8, 9, 5, 3}},
      {ptime(date(2027, 1, 31), time_duration(23, 59, 58)), {0xEB, 0x07, 1, 31, 23, 59, 58}},
      {ptime(date(1999, 2, 1), time_duration(0, 0, 0)), {0xCF, 0x07, 2, 1, 0, 0, 0}},
      {ptime(boost::posix_time::not_a_date_time), Bytes(7, 0)}};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const ttime stamp = get_ttime(cases[i].first);
    const auto* raw = reinterpret_cast<const unsigned char*>(&stamp);
    EXPECT_EQ(Bytes(raw, raw + sizeof stamp), cases[i].second) << "case " << i;
  }
}
