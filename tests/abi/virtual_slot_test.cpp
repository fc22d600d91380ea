// Overloads of a host operation share one name in g++'s class-layout dump, which
// check_vtable_order.sh reads; their order among themselves is read here from the slot offsets
// the compiler puts into pointers to virtual member functions. In the Itanium C++ ABI (x86-64
// and ARM alike) the first word of such a pointer is the slot's byte offset in the virtual
// table (plus one on x86-64), so consecutive slots differ by the size of a pointer.
#include <gtest/gtest.h>

#include <boost/asio/buffer.hpp>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "device/vornk.h"

namespace {

template <typename Member>
std::ptrdiff_t slotWord(Member member) {
  static_assert(sizeof member == 2 * sizeof(std::ptrdiff_t));
  std::ptrdiff_t words[2];
  std::memcpy(words, &member, sizeof words);
  return words[0];
}

constexpr std::ptrdiff_t kSlot = sizeof(void*);

}  // namespace

TEST(VirtualSlots, OverloadsFollowEachOtherInTheHostsOrder) {
  using Bytes = const unsigned char*;
  using Buffers = const std::vector<boost::asio::const_buffer>&;

  const std::ptrdiff_t fromText =
      slotWord(static_cast<bool (vornk::*)(const std::string&)>(&vornk::LoadFromCache));
  EXPECT_EQ(slotWord(static_cast<bool (vornk::*)(Bytes, int)>(&vornk::LoadFromCache)),
            fromText + kSlot);

  const std::ptrdiff_t send =
      slotWord(static_cast<int (vornk::*)(Bytes, unsigned int)>(&vornk::SendSocketData));
  EXPECT_EQ(slotWord(static_cast<int (vornk::*)(int, Bytes, unsigned int)>(&vornk::SendSocketData)),
            send + kSlot);
  EXPECT_EQ(slotWord(static_cast<int (vornk::*)(Buffers)>(&vornk::SendSocketData)),
            send + 2 * kSlot);
  EXPECT_EQ(slotWord(static_cast<int (vornk::*)(int, Buffers)>(&vornk::SendSocketData)),
            send + 3 * kSlot);
}
