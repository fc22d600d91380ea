// The simulated BACnet/IP device over loopback: the vornk device reading it through vornk-host's
// services, one cycle on the test's thread, requests a test sends it by hand, and discovery; the
// settings it refuses.
#include "tools/device_simulator.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "bacnet/discovery.h"
#include "bacnet/ip_client.h"
#include "tests/support/exposed_vornk.h"
#include "tests/support/failure_of.h"
#include "tests/support/loopback_socket.h"
#include "tests/support/rounds.h"
#include "tests/support/temp_work_dir.h"
#include "tools/history_decode.h"
#include "tools/history_file.h"
#include "tools/metered_client.h"
#include "tools/printing_services.h"

using namespace vk::test;

using namespace vk::tools;
using namespace vk::bacnet;
using namespace std::chrono_literals;

// The vornk device reading the simulated device on the network, one cycle on the test's thread.
class SimulatorTest : public testing::Test {
 protected:
  void start(SimulatorSettings settings, BacnetIpSettings client) {
    settings.port = 0;
    simulator = std::make_unique<DeviceSimulator>(std::move(settings));
    serving = std::thread([this] { simulator->run(); });
    network = std::make_shared<BacnetIpClient>(client);
    rig.device->AttachBacnetClient(network);
    rig.device->endpointText = "127.0.0.1:" + std::to_string(simulator->port());
  }
  ~SimulatorTest() override {
    if (simulator) {
      simulator->stop();
      serving.join();
    }
  }

  // The record after a complete cycle against the simulator's defaults.
  static Bytes defaultRecord() {
    Bytes record(kRecordSize, 0);
    for (const vk::device::Point& point : vk::device::kPoints) {
      const Bytes slot = defaultSlot(point);
      std::copy(slot.begin(), slot.end(), record.begin() + point.recordOffset);
    }
    return record;
  }

  Rig rig;
  std::unique_ptr<DeviceSimulator> simulator;
  std::thread serving;
  std::shared_ptr<BacnetIpClient> network;
};

// vornk-host's services store the round as history, which decodes to the simulator's values.
TEST_F(SimulatorTest, HistoryDecodesToTheSimulatorsValues) {
  start({}, {std::chrono::milliseconds(1000), 1, 0});
  const TempWorkDir scratch(TempWorkDir::kEnterOnRequest);
  const std::string path = (scratch.path() / "history").string();
  auto history = std::make_shared<HistoryFile>(path);
  std::string error;
  auto meter = std::make_shared<MeteredClient>(network);
  std::string shown;
  auto services = std::make_shared<PrintingServices>(
      [&](std::string_view text) {
        shown += text;
        return 0;
      },
      "test", 0, nullptr, meter, history);
  rig.device->AttachHostServices(services);
  rig.device->AttachBacnetClient(meter);

  const auto lines = capturedLines([&] { rig.device->do_sample(); });
  const std::size_t points = vk::device::kPoints.size();
  ASSERT_EQ(lines.size(), points + 2) << lines.back();  // trace, every point's value, rvSize
  EXPECT_EQ(lines[1], rig.device->endpointText + " get 3 10005 value:1");
  EXPECT_NE(shown.find(" " + std::to_string(points) + " requests\n"), std::string::npos)
      << shown.substr(0, 100);

  std::ifstream in(path, std::ios::binary);
  std::ostringstream decoded;
  ASSERT_TRUE(decodeHistory(in, DecodeFormat::Csv, decoded, error, [](const std::string&) {}))
      << error;
  const auto rows = splitLines(decoded.str());
  ASSERT_EQ(rows.size(), 2u);
  const Bytes expected = defaultRecord();
  const std::string expectedRow = csvRow(expected.data());
  // Everything after the data identifier and time stamp: every point's value.
  const auto values = [](const std::string& row) {
    return row.substr(row.find(',', row.find(',') + 1));
  };
  EXPECT_EQ(values(rows[1]), values(expectedRow.substr(0, expectedRow.size() - 1)));
}

// A dropped object: the cycle ends with "receive failed" after the retries, and no round.
TEST_F(SimulatorTest, DroppedObjectEndsTheCycleWithoutARound) {
  SimulatorSettings settings;
  settings.drop.insert({OBJECT_ANALOG_OUTPUT, 10410});
  start(settings, {std::chrono::milliseconds(30), 1, 0});
  const auto lines = capturedLines([&] { rig.device->do_sample(); });
  // The trace line, the points before 10410, the failure.
  ASSERT_EQ(lines.size(), 1u + pointIndex(OBJECT_ANALOG_OUTPUT, 10410) + 1u);
  EXPECT_EQ(lines.back(), "receive failed");
  EXPECT_EQ(rig.host->count("SaveDeviceHistory"), 0u);
  EXPECT_EQ(rig.host->count("SendSP"), 0u);
  const Bytes record = rig.device->record();
  const std::size_t read = pointOf(OBJECT_ANALOG_OUTPUT, 10407).recordOffset;
  EXPECT_EQ(slice(record, read, 4), slice(defaultRecord(), read, 4));
  // The dropped point and the ones after it stay unread, up to the stamp.
  const std::size_t unread = pointOf(OBJECT_ANALOG_OUTPUT, 10410).recordOffset;
  EXPECT_EQ(slice(record, unread, kStampOffset - unread), Bytes(kStampOffset - unread, 0));
}

TEST_F(SimulatorTest, ErrorAnswerEndsTheCycleWithoutARound) {
  SimulatorSettings settings;
  settings.error.insert({OBJECT_BINARY_INPUT, 10005});
  start(settings, {std::chrono::milliseconds(1000), 3, 0});
  const auto lines = capturedLines([&] { rig.device->do_sample(); });
  EXPECT_EQ(lines, (std::vector<std::string>{"vornk::RefreshStatus", "receive failed"}));
  EXPECT_EQ(rig.host->count("SaveDeviceHistory"), 0u);
}

// An answer later than the timeout is taken while the client waits after its retry; its
// duplicate, answering the retry, arrives during later requests and is dropped.
TEST_F(SimulatorTest, LateAnswerIsTakenAfterTheRetry) {
  SimulatorSettings settings;
  // The answer comes half-way through the retry's wait: half a timeout of margin either side.
  settings.delay[{OBJECT_BINARY_INPUT, 10005}] = std::chrono::milliseconds(1500);
  start(settings, {std::chrono::milliseconds(1000), 1, 0});
  capturedLines([&] { rig.device->do_sample(); });
  ASSERT_EQ(rig.host->count("SaveDeviceHistory"), 1u);
  EXPECT_EQ(slice(rig.device->record(), kPointsOffset, kPointsSize),
            slice(defaultRecord(), kPointsOffset, kPointsSize));
}

TEST_F(SimulatorTest, AnswersWhoIsWithIAm) {
  SimulatorSettings settings;
  settings.deviceInstance = 4001;
  start(settings, {});
  LoopbackSocket asker;
  asker.sendTo(simulator->port(), Frame{0x81, 0x0B, 0x00, 0x08, 0x01, 0x00, 0x10, 0x08});
  EXPECT_EQ(asker.receive(), encodeIAm(4001, 0xFFFF));
  // Not one of its points: an Error.
  std::uint32_t value = 0;
  ASSERT_TRUE(network->SendReadProperty(rig.device->endpointText, OBJECT_ANALOG_INPUT, 1,
                                        PROP_PRESENT_VALUE, BACNET_ARRAY_ALL));
  EXPECT_FALSE(network->Receive(value));
}

// Damaged datagrams get no answer, a confirmed request for another service a Reject, and the
// simulator goes on answering ReadProperty.
TEST_F(SimulatorTest, RejectsOtherServicesAndIgnoresDamagedDatagrams) {
  start({}, {});
  LoopbackSocket asker;
  Frame readProperty = encodeReadPropertyRequest(analogInputRequest(9));
  Frame truncated(readProperty.begin(), readProperty.end() - 2);
  asker.sendTo(simulator->port(), Frame{0x81, 0x0A, 0x00});
  asker.sendTo(simulator->port(), truncated);
  asker.sendTo(simulator->port(), Frame(1600, 0x81));
  Frame otherService = readProperty;
  otherService[9] = 0x0E;  // ReadPropertyMultiple
  asker.sendTo(simulator->port(), otherService);
  EXPECT_EQ(asker.receive(), encodeReject(9, RejectReason::UnrecognizedService));
  asker.sendTo(simulator->port(), readProperty);
  const Frame answer = asker.receive();
  EXPECT_EQ(decodeReadPropertyAnswer(answer.data(), answer.size(), analogInputRequest(9)).kind,
            AnswerKind::Value);
  EXPECT_FALSE(asker.pending());
}

namespace {

// The frame as a router delivers it from network 5, MAC address 0x21 0x22: SNET and SADR in its
// NPDU.
Frame fromRouter(Frame frame) {
  frame[5] |= 0x08;
  frame.insert(frame.begin() + 6, {0x00, 0x05, 0x02, 0x21, 0x22});
  return withBvlcLength(std::move(frame));
}

}  // namespace

// The simulator answers what a device on the network answers: confirmed requests sent to it alone,
// Who-Is also when broadcast, and answers to requests through a router back through the router.
// Refused requests get the Error, Abort or Reject a device sends.
TEST_F(SimulatorTest, RoutingAndRefusals) {
  SimulatorSettings settings;
  settings.values[{OBJECT_ANALOG_INPUT, 10365}] = floatBits(21.5f);
  start(settings, {});
  const Frame request = encodeReadPropertyRequest(analogInputRequest(9));
  const Frame value =
      encodeReadPropertyAck(analogInputRequest(9), {PresentValue::Type::Real, floatBits(21.5f)});
  const Frame iAm = encodeIAm(5156, 0xFFFF);
  const NetworkAddress router{5, {0x21, 0x22}};

  Frame broadcast = request;
  broadcast[1] = 0x0B;
  Frame forwarded = request;
  forwarded[1] = 0x04;
  forwarded.insert(forwarded.begin() + 4, {127, 0, 0, 1, 0xBA, 0xC0});
  auto indexed = analogInputRequest(9);
  indexed.arrayIndex = 2;
  auto indexedAll = analogInputRequest(9);
  indexedAll.arrayIndex = 0xFFFFFFFFu;
  const Frame segmented = withBvlcLength({0x81, 0x0A, 0, 0, 0x01, 0x04, 0x0C, 0x05, 0x09, 0x00,
                                          0x01, 0x0C, 0x0C, 0x00, 0x00, 0x28, 0x7D, 0x19, 0x55});
  Frame noProperty(request.begin(), request.end() - 2);
  Frame badTag = request;
  badTag[15] = 0x29;  // the property as context tag 2
  Frame trailing = request;
  trailing.insert(trailing.end(), {0x29, 0x01, 0x00});
  const auto whoIsFor = [](std::uint16_t low, std::uint16_t high) {  // as 4-byte limits
    Frame frame = encodeWhoIs(false);
    frame.insert(frame.end(), {0x0C, 0, 0, std::uint8_t(low >> 8), std::uint8_t(low), 0x1C, 0, 0,
                               std::uint8_t(high >> 8), std::uint8_t(high)});
    return withBvlcLength(std::move(frame));
  };

  const std::pair<const char*, std::pair<Frame, Frame>> cases[] = {
      {"unicast", {request, value}},
      {"Original-Broadcast-NPDU", {broadcast, {}}},
      {"Forwarded-NPDU", {withBvlcLength(forwarded), {}}},
      {"DNET 0xFFFF", {addressTo(request, {0xFFFF, {}}), {}}},
      {"DNET 5, DADR 0x21", {addressTo(request, {5, {0x21}}), {}}},
      {"DNET 5, every node", {addressTo(request, {5, {}}), {}}},
      {"through a router", {fromRouter(request), addressTo(value, router)}},
      {"Who-Is broadcast", {encodeWhoIs(true), iAm}},
      {"Who-Is for every network", {addressTo(encodeWhoIs(true), {0xFFFF, {}}), iAm}},
      {"Who-Is for network 5", {addressTo(encodeWhoIs(false), {5, {}}), {}}},
      {"Who-Is for 5156 to 5156", {whoIsFor(5156, 5156), iAm}},
      {"Who-Is for 5157 to 65535", {whoIsFor(5157, 65535), {}}},
      {"Who-Is for 0 to 5155", {whoIsFor(0, 5155), {}}},
      {"Who-Is through a router", {fromRouter(encodeWhoIs(false)), addressTo(iAm, router)}},
      {"array index",
       {encodeReadPropertyRequest(indexed),
        encodeError(9, 12, ErrorClass::Property, ErrorCode::PropertyIsNotAnArray)}},
      {"array index 4294967295",
       {encodeReadPropertyRequest(indexedAll),
        encodeError(9, 12, ErrorClass::Property, ErrorCode::PropertyIsNotAnArray)}},
      {"segmented", {segmented, encodeAbort(9, AbortReason::SegmentationNotSupported)}},
      {"segmented, broadcast",
       {[&] {
          Frame frame = segmented;
          frame[1] = 0x0B;
          return frame;
        }(),
        {}}},
      {"no property",
       {withBvlcLength(noProperty), encodeReject(9, RejectReason::MissingRequiredParameter)}},
      {"property with another tag", {badTag, encodeReject(9, RejectReason::InvalidTag)}},
      {"bytes after the array index",
       {withBvlcLength(trailing), encodeReject(9, RejectReason::TooManyArguments)}},
      {"malformed, through a router",
       {fromRouter(withBvlcLength(noProperty)),
        addressTo(encodeReject(9, RejectReason::MissingRequiredParameter), router)}},
  };
  LoopbackSocket asker;
  for (const auto& [name, exchange] : cases) {
    SCOPED_TRACE(name);
    const auto& [sent, expected] = exchange;
    asker.sendTo(simulator->port(), sent);
    if (!expected.empty()) {
      EXPECT_EQ(asker.receive(), expected);
    }
    // Answered in order: the answer to a plain Who-Is comes next, and nothing after it.
    asker.sendTo(simulator->port(), encodeWhoIs(false));
    EXPECT_EQ(asker.receive(), iAm);
    EXPECT_FALSE(asker.pending());
  }
  // A routed answer names a destination network, so the client, which talks to devices directly,
  // cannot use it.
  const Frame routed = addressTo(value, router);
  EXPECT_EQ(decodeReadPropertyAnswer(routed.data(), routed.size(), analogInputRequest(9)).kind,
            AnswerKind::Unusable);
}

TEST_F(SimulatorTest, DiscoveryFindsTheSimulator) {
  SimulatorSettings settings;
  settings.deviceInstance = 4001;
  start(settings, {});
  const std::vector<DiscoveredDevice> found =
      discoverDevices(loopbackAddress(simulator->port()), 300ms);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].iAm.deviceInstance, 4001u);
  EXPECT_EQ(found[0].iAm.maxApdu, 1476u);
  EXPECT_EQ(found[0].iAm.segmentation, 3u);
  EXPECT_EQ(found[0].iAm.vendorId, 0xFFFFu);
  EXPECT_EQ(ntohs(found[0].from.sin_port), simulator->port());
}

TEST(HostSetup, ASimulatorThatCannotListenFailsWithASetupError) {
  SimulatorSettings settings;
  settings.address = "999.1.1.1";
  EXPECT_EQ(failureOf([&] { DeviceSimulator simulator(settings); }),
            "1: '999.1.1.1' is not an IPv4 address");

  settings.address = "127.0.0.1";
  settings.port = 0;
  DeviceSimulator first(settings);
  settings.port = first.port();
  const std::string taken = failureOf([&] { DeviceSimulator second(settings); });
  EXPECT_EQ(taken.rfind("1: cannot bind UDP 127.0.0.1:" + std::to_string(first.port()), 0), 0u)
      << taken;
}

TEST(HostSetup, ASimulatorRefusesObjectsItDoesNotHave) {
  SimulatorSettings unknown;
  unknown.port = 0;
  unknown.drop.insert({OBJECT_ANALOG_INPUT, 1});
  EXPECT_THROW(DeviceSimulator{unknown}, std::runtime_error);
}
