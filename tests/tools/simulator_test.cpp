// The simulated BACnet/IP device over loopback: the vornk device reading it through vornk-host's
// services, one cycle on the test's thread, and requests a test sends it by hand.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "bacnet/ip_client.h"
#include "tests/support/loopback_socket.h"
#include "tests/support/probe_vornk.h"
#include "tests/support/rounds.h"
#include "tests/support/temp_work_dir.h"
#include "tools/device_simulator.h"
#include "tools/history_decode.h"
#include "tools/history_file.h"
#include "tools/metered_client.h"
#include "tools/printing_services.h"

using namespace vornk_tools;
using bacnet::Frame;

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
    for (const vornk_points::Point& point : vornk_points::kPoints) {
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
  ASSERT_EQ(lines.size(), 286u) << lines.back();  // trace, 284 values, rvSize
  EXPECT_EQ(lines[1], rig.device->endpointText + " get 3 10005 value:1");
  EXPECT_NE(shown.find(" 284 requests\n"), std::string::npos) << shown.substr(0, 100);

  std::ifstream in(path, std::ios::binary);
  std::ostringstream decoded;
  ASSERT_TRUE(decodeHistory(in, DecodeFormat::Csv, decoded, error)) << error;
  const auto rows = splitLines(decoded.str());
  ASSERT_EQ(rows.size(), 2u);
  const Bytes expected = defaultRecord();
  const std::string expectedRow = csvRow(expected.data());
  // Everything after the data identifier and time stamp: the 284 values.
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
  EXPECT_EQ(asker.receive(), bacnet::encodeIAm(4001, 0xFFFF));
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
  Frame readProperty = bacnet::encodeReadPropertyRequest(analogInputRequest(9));
  Frame truncated(readProperty.begin(), readProperty.end() - 2);
  asker.sendTo(simulator->port(), Frame{0x81, 0x0A, 0x00});
  asker.sendTo(simulator->port(), truncated);
  asker.sendTo(simulator->port(), Frame(1600, 0x81));
  Frame otherService = readProperty;
  otherService[9] = 0x0E;  // ReadPropertyMultiple
  asker.sendTo(simulator->port(), otherService);
  EXPECT_EQ(asker.receive(), bacnet::encodeReject(9, 9));
  asker.sendTo(simulator->port(), readProperty);
  const Frame answer = asker.receive();
  EXPECT_EQ(
      bacnet::decodeReadPropertyAnswer(answer.data(), answer.size(), analogInputRequest(9)).kind,
      bacnet::AnswerKind::Value);
  EXPECT_FALSE(asker.pending());
}
