// One sampling cycle: the reads in table order, the record slots, the echoed lines and the
// failures that end a cycle early.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "probe_vornk.h"

using vornk_points::kPoints;

namespace {

class SamplingCycle : public testing::Test {
 protected:
  std::vector<std::string> runCycle() {
    return capturedLines([&] { rig.device->do_sample(); });
  }

  // The record after LoadFromCache has filled it with one byte value, with the calls it made
  // forgotten.
  Bytes prefillRecord(unsigned char fill) {
    Bytes cached(859, fill);
    capturedLines([&] { EXPECT_TRUE(rig.device->LoadFromCache(cached.data(), 859)); });
    rig.host->clear();
    return rig.device->record();
  }

  Rig rig;
};

}  // namespace

TEST_F(SamplingCycle, ClosedGateWritesOnlyTheTraceLine) {
  rig.device->endpointText.clear();
  EXPECT_EQ(runCycle(), std::vector<std::string>{"vornk::RefreshStatus"});
  EXPECT_EQ(rig.bacnet->requestCount(), 0u);
  EXPECT_TRUE(rig.host->calls().empty());
}

TEST_F(SamplingCycle, CompleteCycleReadsEveryPointInOrderThenCompletesOneRound) {
  std::vector<std::pair<BACnetObjectType, std::uint32_t>> requests;
  rig.bacnet->setRequestHook([&](BACnetObjectType type, std::uint32_t instance) {
    requests.emplace_back(type, instance);
  });

  const auto lines = runCycle();

  ASSERT_EQ(requests.size(), 284u);
  for (std::size_t i = 0; i < kPoints.size(); ++i) {
    EXPECT_EQ(requests[i], std::make_pair(kPoints[i].type, kPoints[i].instance)) << i;
  }
  ASSERT_EQ(lines.size(), 1u + 284u + 1u);
  EXPECT_EQ(lines.front(), "vornk::RefreshStatus");
  EXPECT_EQ(lines[1], "sim get 3 10005 value:1");
  EXPECT_EQ(lines[93], "sim get 4 10095 value:1");
  EXPECT_EQ(lines[97], "sim get 0 10365 value:31.25");
  EXPECT_EQ(lines[281], "sim get 1 10407 value:16.75");
  EXPECT_EQ(lines[284], "sim get 2 3000836 value:24");
  EXPECT_EQ(lines.back(), "rvSize is 0");
  EXPECT_EQ(rig.host->count("SendSP"), 1u);

  const Bytes record = rig.device->record();
  for (const auto& point : kPoints) {
    EXPECT_EQ(slice(record, point.recordOffset, point.size), defaultSlot(point)) << point.instance;
  }
}

TEST_F(SamplingCycle, BinaryValueLineAndLowByte) {
  rig.bacnet->setValue(OBJECT_BINARY_INPUT, 3000485, 1);
  rig.bacnet->setValue(OBJECT_BINARY_INPUT, 3000486, 257);
  rig.bacnet->setValue(OBJECT_BINARY_OUTPUT, 10104, 0x1FF);
  const auto lines = runCycle();

  EXPECT_EQ(lines[9], "sim get 3 3000485 value:1");
  EXPECT_EQ(lines[10], "sim get 3 3000486 value:1");
  EXPECT_EQ(lines[96], "sim get 4 10104 value:255");
  const Bytes record = rig.device->record();
  EXPECT_EQ(record[12], 1);
  EXPECT_EQ(record[13], 1);  // 257: only the low-order byte is stored
  EXPECT_EQ(record[99], 0xFF);
}

TEST_F(SamplingCycle, AnalogBitsAreStoredUnchangedAndEchoedAsTheStreamWrites) {
  const std::uint32_t quietNan = 0x7FC00001u;
  const std::uint32_t negativeNan = 0xFFC00000u;
  rig.bacnet->setFloat(OBJECT_ANALOG_INPUT, 10365, 21.5f);
  rig.bacnet->setValue(OBJECT_ANALOG_INPUT, 10368, quietNan);
  rig.bacnet->setFloat(OBJECT_ANALOG_INPUT, 10416, std::numeric_limits<float>::infinity());
  rig.bacnet->setValue(OBJECT_ANALOG_INPUT, 10419, negativeNan);
  rig.bacnet->setFloat(OBJECT_ANALOG_OUTPUT, 10410, 1234567.0f);
  rig.bacnet->setFloat(OBJECT_ANALOG_VALUE, 3000835, 0.0001f);
  const auto lines = runCycle();

  EXPECT_EQ(lines[97], "sim get 0 10365 value:21.5");
  EXPECT_EQ(lines[98], "sim get 0 10368 value:nan");
  EXPECT_EQ(lines[99], "sim get 0 10416 value:inf");
  EXPECT_EQ(lines[100], "sim get 0 10419 value:-nan");
  EXPECT_EQ(lines[282], "sim get 1 10410 value:1.23457e+06");
  EXPECT_EQ(lines[283], "sim get 2 3000835 value:0.0001");

  const Bytes record = rig.device->record();
  EXPECT_EQ(slice(record, 100, 4), (Bytes{0x00, 0x00, 0xAC, 0x41}));
  EXPECT_EQ(slice(record, 104, 4), (Bytes{0x01, 0x00, 0xC0, 0x7F}));
  EXPECT_EQ(slice(record, 108, 4), (Bytes{0x00, 0x00, 0x80, 0x7F}));
  EXPECT_EQ(slice(record, 112, 4), (Bytes{0x00, 0x00, 0xC0, 0xFF}));
}

TEST_F(SamplingCycle, FailedFirstSendEndsTheCycleWithTheRecordUnchanged) {
  rig.bacnet->failSend(OBJECT_BINARY_INPUT, 10005);
  EXPECT_EQ(runCycle(), (std::vector<std::string>{"vornk::RefreshStatus", "send failed"}));
  EXPECT_EQ(rig.device->record(), Bytes(859, 0));
  EXPECT_EQ(rig.bacnet->requestCount(), 1u);
  EXPECT_TRUE(rig.host->calls().empty());
}

TEST_F(SamplingCycle, FailedAnswerKeepsEarlierBytesNewAndLaterBytesOld) {
  const Bytes before = prefillRecord(0xEE);
  rig.bacnet->failReceive(OBJECT_ANALOG_OUTPUT, 10410);
  const auto lines = runCycle();

  ASSERT_EQ(lines.size(), 1u + 281u + 1u);
  EXPECT_EQ(lines[281], "sim get 1 10407 value:16.75");
  EXPECT_EQ(lines.back(), "receive failed");
  const Bytes record = rig.device->record();
  for (const auto& point : kPoints) {
    const Bytes expected =
        point.recordOffset < 840 ? defaultSlot(point) : slice(before, point.recordOffset, 4);
    EXPECT_EQ(slice(record, point.recordOffset, point.size), expected) << point.instance;
  }
  EXPECT_EQ(slice(record, 0, 4), slice(before, 0, 4));
  EXPECT_EQ(slice(record, 852, 7), slice(before, 852, 7));
  EXPECT_TRUE(rig.host->calls().empty());  // no round
}

TEST_F(SamplingCycle, NextCycleStartsAgainAtTheFirstPoint) {
  rig.bacnet->failSend(OBJECT_ANALOG_INPUT, 3000742);
  runCycle();
  rig.bacnet->clearFailures();
  std::vector<std::uint32_t> requested;
  rig.bacnet->setRequestHook(
      [&](BACnetObjectType, std::uint32_t instance) { requested.push_back(instance); });
  const auto lines = runCycle();
  ASSERT_EQ(requested.size(), 284u);
  EXPECT_EQ(requested.front(), 10005u);
  EXPECT_EQ(lines.back(), "rvSize is 0");
}

TEST_F(SamplingCycle, WithoutABacnetClientEveryCycleFailsHarmlessly) {
  ProbeVornk bare;
  bare.endpointText = "x";
  EXPECT_EQ(capturedLines([&] { bare.do_sample(); }),
            (std::vector<std::string>{"vornk::RefreshStatus", "send failed"}));
}
