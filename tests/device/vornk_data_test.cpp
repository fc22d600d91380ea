// The record: its layout, pinned to the numbers the host's contract gives, and its floats, never
// accessed as aligned floats: a record at an odd address has every float written and read by the
// module and by vornk-host's record text. An aligned float access there is reported by UBSan's
// alignment check (sanitizer build) and raises a bus error on 32-bit ARM (armhf build under
// emulation).
#include "device/vornk_data.h"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "bacnet/enumerations.h"
#include "tests/support/exposed_vornk.h"
#include "tests/support/rounds.h"
#include "tools/record_text.h"

using namespace vk::test;

using vk::device::kPoints;

namespace {

// A float per slot, with a short exact text: the slot's offset plus a quarter, negated on request.
float slotValue(std::size_t offset, bool negated = false) {
  const float value = static_cast<float>(offset) + 0.25f;
  return negated ? -value : value;
}

std::string slotText(std::size_t offset, bool negated = false) {
  return (negated ? "-" : "") + std::to_string(offset) + ".25";
}

class UnalignedRecord : public testing::Test {
 protected:
  UnalignedRecord() { EXPECT_EQ(reinterpret_cast<std::uintptr_t>(odd) % 2, 1u); }

  // A byte copy, as every float of the record is accessed. (Even a packed member bound to a
  // const float&, as EXPECT_EQ's arguments are, is an aligned access.)
  void setFloatAt(std::size_t offset, float value) {
    std::memcpy(odd + offset, &value, sizeof value);
  }

  // Checks that vornk-host shows every analog point of the odd record with its slot's value.
  void expectRecordTextShowsSlotValues(bool negated) {
    const auto lines = splitLines(vk::tools::recordText(1, odd, sizeof(vornk_Data_t)));
    ASSERT_EQ(lines.size(), 1 + kPoints.size());
    for (std::size_t i = 0; i < kPoints.size(); ++i) {
      if (kPoints[i].size != 4) continue;
      EXPECT_EQ(lines[1 + i], "  " + std::string(vk::bacnet::objectTypeName(kPoints[i].type)) +
                                  " " + std::to_string(kPoints[i].instance) + " = " +
                                  slotText(kPoints[i].recordOffset, negated));
    }
  }

  alignas(8) std::array<unsigned char, 1 + sizeof(vornk_Data_t)> storage{};
  unsigned char* const odd = storage.data() + 1;
  Rig rig;
};

}  // namespace

TEST(RecordLayout, FieldsSitAtTheirOffsets) {
  EXPECT_EQ(sizeof(vornk_Data_t), 859u);
  EXPECT_EQ(offsetof(vornk_Data_t, bo), 96u);
  EXPECT_EQ(offsetof(vornk_Data_t, ai), 100u);
  EXPECT_EQ(offsetof(vornk_Data_t, ao), 836u);
  EXPECT_EQ(offsetof(vornk_Data_t, av), 844u);
  EXPECT_EQ(offsetof(vornk_Data_t, stamp), 852u);
}

// The module stores and echoes every analog value; its published record, placed at an odd
// address, is read float by float.
TEST_F(UnalignedRecord, SampledFloatsAreReadBackAtAnOddAddress) {
  for (const auto& point : kPoints) {
    if (point.size == 4) {
      rig.bacnet->setFloat(point.type, point.instance, slotValue(point.recordOffset));
    }
  }
  const auto lines = capturedLines([&] { rig.device->do_sample(); });

  ASSERT_EQ(lines.size(), 1 + kPoints.size() + 1);
  for (std::size_t i = 0; i < kPoints.size(); ++i) {
    if (kPoints[i].size != 4) continue;
    const std::string value = lines[1 + i].substr(lines[1 + i].find("value:") + 6);
    EXPECT_EQ(value, slotText(kPoints[i].recordOffset)) << kPoints[i].instance;
  }
  const Bytes published = rig.host->calls().at(0).data;
  ASSERT_EQ(published.size(), sizeof(vornk_Data_t));
  std::copy(published.begin(), published.end(), odd);

  expectRecordTextShowsSlotValues(false);
}

// Every float written into a record at an odd address is shown by vornk-host and restored by the
// module from there.
TEST_F(UnalignedRecord, FloatsWrittenAtAnOddAddressAreShownAndRestored) {
  for (const auto& point : kPoints) {
    if (point.size == 4) setFloatAt(point.recordOffset, slotValue(point.recordOffset, true));
  }
  expectRecordTextShowsSlotValues(true);

  capturedLines([&] { EXPECT_TRUE(rig.device->LoadFromCache(odd, sizeof(vornk_Data_t))); });
  const Bytes published = rig.host->calls().at(0).data;
  const std::size_t floatsEnd = offsetof(vornk_Data_t, stamp);
  EXPECT_EQ(slice(published, 0, floatsEnd), Bytes(odd, odd + floatsEnd));
}
