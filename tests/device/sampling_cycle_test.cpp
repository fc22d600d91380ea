// One sampling cycle: the reads in table order, the record slots, the echoed lines and the
// failures that end a cycle early.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string_view>

#include "tests/support/probe_vornk.h"
#include "tests/support/rounds.h"
#include "unidata/log_line.h"

using vornk_points::kPoints;

namespace {

class SamplingCycle : public testing::Test {
 protected:
  std::vector<std::string> runCycle() {
    return capturedLines([&] { rig.device->do_sample(); });
  }

  Rig rig;
};

// The index of a point's value line among a cycle's lines: after the trace line, in reading order.
constexpr std::size_t lineOf(BACnetObjectType type, std::uint32_t instance) {
  return 1 + pointIndex(type, instance);
}

// The offset of a point's slot in the record.
constexpr std::size_t slotOf(BACnetObjectType type, std::uint32_t instance) {
  return pointOf(type, instance).recordOffset;
}

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

  ASSERT_EQ(requests.size(), kPoints.size());
  for (std::size_t i = 0; i < kPoints.size(); ++i) {
    EXPECT_EQ(requests[i], std::make_pair(kPoints[i].type, kPoints[i].instance)) << i;
  }
  ASSERT_EQ(lines.size(), 1u + kPoints.size() + 1u);
  EXPECT_EQ(lines.front(), "vornk::RefreshStatus");
  EXPECT_EQ(lines[lineOf(OBJECT_BINARY_INPUT, 10005)], "sim get 3 10005 value:1");
  EXPECT_EQ(lines[lineOf(OBJECT_BINARY_OUTPUT, 10095)], "sim get 4 10095 value:1");
  EXPECT_EQ(lines[lineOf(OBJECT_ANALOG_INPUT, 10365)], "sim get 0 10365 value:31.25");
  EXPECT_EQ(lines[lineOf(OBJECT_ANALOG_OUTPUT, 10407)], "sim get 1 10407 value:16.75");
  EXPECT_EQ(lines[lineOf(OBJECT_ANALOG_VALUE, 3000836)], "sim get 2 3000836 value:24");
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

  EXPECT_EQ(lines[lineOf(OBJECT_BINARY_INPUT, 3000485)], "sim get 3 3000485 value:1");
  EXPECT_EQ(lines[lineOf(OBJECT_BINARY_INPUT, 3000486)], "sim get 3 3000486 value:1");
  EXPECT_EQ(lines[lineOf(OBJECT_BINARY_OUTPUT, 10104)], "sim get 4 10104 value:255");
  const Bytes record = rig.device->record();
  EXPECT_EQ(record[slotOf(OBJECT_BINARY_INPUT, 3000485)], 1);
  EXPECT_EQ(record[slotOf(OBJECT_BINARY_INPUT, 3000486)], 1);  // 257: only the low-order byte
  EXPECT_EQ(record[slotOf(OBJECT_BINARY_OUTPUT, 10104)], 0xFF);
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

  EXPECT_EQ(lines[lineOf(OBJECT_ANALOG_INPUT, 10365)], "sim get 0 10365 value:21.5");
  EXPECT_EQ(lines[lineOf(OBJECT_ANALOG_INPUT, 10368)], "sim get 0 10368 value:nan");
  EXPECT_EQ(lines[lineOf(OBJECT_ANALOG_INPUT, 10416)], "sim get 0 10416 value:inf");
  EXPECT_EQ(lines[lineOf(OBJECT_ANALOG_INPUT, 10419)], "sim get 0 10419 value:-nan");
  EXPECT_EQ(lines[lineOf(OBJECT_ANALOG_OUTPUT, 10410)], "sim get 1 10410 value:1.23457e+06");
  EXPECT_EQ(lines[lineOf(OBJECT_ANALOG_VALUE, 3000835)], "sim get 2 3000835 value:0.0001");

  const Bytes record = rig.device->record();
  EXPECT_EQ(slice(record, slotOf(OBJECT_ANALOG_INPUT, 10365), 4), (Bytes{0x00, 0x00, 0xAC, 0x41}));
  EXPECT_EQ(slice(record, slotOf(OBJECT_ANALOG_INPUT, 10368), 4), (Bytes{0x01, 0x00, 0xC0, 0x7F}));
  EXPECT_EQ(slice(record, slotOf(OBJECT_ANALOG_INPUT, 10416), 4), (Bytes{0x00, 0x00, 0x80, 0x7F}));
  EXPECT_EQ(slice(record, slotOf(OBJECT_ANALOG_INPUT, 10419), 4), (Bytes{0x00, 0x00, 0xC0, 0xFF}));
}

TEST_F(SamplingCycle, FailedFirstSendEndsTheCycleWithTheRecordUnchanged) {
  rig.bacnet->failSend(OBJECT_BINARY_INPUT, 10005);
  EXPECT_EQ(runCycle(), (std::vector<std::string>{"vornk::RefreshStatus", "send failed"}));
  EXPECT_EQ(rig.device->record(), Bytes(kRecordSize, 0));
  EXPECT_EQ(rig.bacnet->requestCount(), 1u);
  EXPECT_TRUE(rig.host->calls().empty());
}

// Failures at every other point, and the cycle after them: fault_matrix_test.cpp.

TEST_F(SamplingCycle, WithoutABacnetClientEveryCycleFailsHarmlessly) {
  ProbeVornk bare;
  bare.endpointText = "x";
  EXPECT_EQ(capturedLines([&] { bare.do_sample(); }),
            (std::vector<std::string>{"vornk::RefreshStatus", "send failed"}));
}

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
    EXPECT_EQ(std::string_view(unidata::StreamFloatText(static_cast<double>(value))),
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
    unidata::writeLine({part, " line"});
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
