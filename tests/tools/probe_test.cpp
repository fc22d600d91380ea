// Commissioning a device: vornk-host probe against the simulated BACnet/IP device and a silent
// one, and the summary's arithmetic.
#include "tools/probe.h"

#include <gtest/gtest.h>

#include <thread>

#include "tests/support/loopback_socket.h"
#include "tests/support/rounds.h"
#include "tools/device_simulator.h"
#include "tools/read_failure_text.h"

using namespace vk::test;

using namespace vk::tools;
using namespace vk::bacnet;
using std::chrono::milliseconds;
using Kind = ReadFailure::Kind;
using vk::device::kPoints;

namespace {

// A simulated device serving on 127.0.0.1 from a thread of its own.
class ServingSimulator {
 public:
  explicit ServingSimulator(SimulatorSettings settings) : simulator_(withAnyPort(settings)) {
    serving_ = std::thread([this] { simulator_.run(); });
  }
  ~ServingSimulator() {
    simulator_.stop();
    serving_.join();
  }
  std::string endpoint() const { return "127.0.0.1:" + std::to_string(simulator_.port()); }

 private:
  static SimulatorSettings withAnyPort(SimulatorSettings settings) {
    settings.port = 0;
    return settings;
  }

  DeviceSimulator simulator_;
  std::thread serving_;
};

// The lines of a text that begin with prefix.
std::vector<std::string> linesStarting(const std::string& text, const std::string& prefix) {
  std::vector<std::string> found;
  for (const std::string& line : splitLines(text)) {
    if (line.rfind(prefix, 0) == 0) found.push_back(line);
  }
  return found;
}

}  // namespace

// Dropped, refused and late points: probe goes on past each, in table order, and says why.
TEST(Probe, ReadsEveryPointAndNamesEachFailure) {
  SimulatorSettings settings;
  settings.drop = {{OBJECT_ANALOG_INPUT, 10416}, {OBJECT_BINARY_OUTPUT, 10104}};
  settings.error = {{OBJECT_BINARY_INPUT, 10005}};
  settings.delay = {{{OBJECT_ANALOG_OUTPUT, 10410}, milliseconds(60)}};
  const ServingSimulator device(settings);
  BacnetIpClient client({milliseconds(40), 1, 0});
  const ProbeReport report = probeDevice(client, device.endpoint());

  ASSERT_EQ(report.points.size(), vk::device::kPointCount);
  std::vector<std::string> failed;
  for (std::size_t i = 0; i < report.points.size(); ++i) {
    const PointProbe& probe = report.points[i];
    EXPECT_EQ(probe.point.instance, vk::device::kPoints[i].instance);
    EXPECT_NE(probe.value.has_value(), probe.failure.has_value());
    if (probe.failure) {
      failed.push_back(pointName(probe.point.type, probe.point.instance) + " " +
                       std::string(failureKindName(probe.failure->kind)) + " " +
                       std::to_string(probe.failure->tries));
    }
  }
  // The late point's answer outlives a first try: the second try's answer is taken or the first
  // one arrives during it, either way a value.
  EXPECT_EQ(failed, (std::vector<std::string>{"binary-input 10005 error 1",
                                              "binary-output 10104 no-answer 2",
                                              "analog-input 10416 no-answer 2"}));
  const auto late = std::find_if(report.points.begin(), report.points.end(), [](auto& probe) {
    return probe.point.type == OBJECT_ANALOG_OUTPUT && probe.point.instance == 10410;
  });
  ASSERT_TRUE(late->value.has_value());
  EXPECT_GE(late->elapsed, milliseconds(60));
  // Each point's time is its own request's: the next point, answered at once, took less.
  EXPECT_LT((late + 1)->elapsed, milliseconds(60)) << (late + 1)->elapsed.count() << " us";
  EXPECT_EQ(probeStatus(report), 1);

  const std::string text = probeText(report);
  EXPECT_EQ(
      linesStarting(text, "probe of "),
      (std::vector<std::string>{"probe of " + device.endpoint() + " (timeout 40 ms, 1 retry)"}));
  const std::vector<std::string> rows = linesStarting(text, "  ");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].substr(0, 24), "  binary-input 10005    ");
  EXPECT_NE(rows[0].find(" ms  error class device (0), code other (0)"), std::string::npos);
  EXPECT_NE(rows[2].find("  no answer after 2 tries (timeout 40 ms)"), std::string::npos);
  const std::string points = std::to_string(kPoints.size());
  EXPECT_EQ(linesStarting(text, "points: "),
            (std::vector<std::string>{"points: " + points + ", read " +
                                      std::to_string(kPoints.size() - 3) +
                                      ", failed 3 (no-answer 2, error 1)"}));
  EXPECT_EQ(linesStarting(text, "verdict: "),
            (std::vector<std::string>{"verdict: the module would complete no round with this "
                                      "device: a round needs all " +
                                      points + " points, and 3 failed"}));

  const Json::Value json = parseJson(probeJson(report));
  EXPECT_EQ(json["device"].asString(), device.endpoint());
  EXPECT_EQ(json["points"].size(), kPoints.size());
  EXPECT_EQ(json["points"][0]["failure"]["kind"].asString(), "error");
  EXPECT_EQ(json["points"][0]["failure"]["error_class"].asUInt(), 0u);
  EXPECT_EQ(json["points"][1]["value"].asUInt(), 0u);
  EXPECT_EQ(json["summary"]["read"].asUInt(), kPoints.size() - 3);
  EXPECT_EQ(json["summary"]["failed_by_kind"]["no-answer"].asUInt(), 2u);
  EXPECT_FALSE(json["summary"]["completes_rounds"].asBool());
  EXPECT_GE(json["summary"]["answer_us"]["max"].asUInt(), 60000u);
}

TEST(Probe, ADeviceThatAnswersEverythingCompletesRounds) {
  const ServingSimulator device({});
  BacnetIpClient client({milliseconds(1000), 0, 0});
  const ProbeReport report = probeDevice(client, device.endpoint());
  EXPECT_EQ(probeStatus(report), 0);
  const std::string text = probeText(report);
  EXPECT_TRUE(linesStarting(text, "failed points:").empty()) << text;
  EXPECT_EQ(linesStarting(text, "points: "),
            (std::vector<std::string>{"points: " + std::to_string(kPoints.size()) + ", read " +
                                      std::to_string(kPoints.size()) + ", failed 0"}));
  EXPECT_EQ(
      linesStarting(text, "verdict: "),
      (std::vector<std::string>{"verdict: the module would complete rounds with this device"}));
  const Json::Value json = parseJson(probeJson(report));
  EXPECT_TRUE(json["summary"]["completes_rounds"].asBool());
  EXPECT_EQ(json["summary"]["failed_by_kind"].size(), 0u);
}

// A device that never answers: probe stops after the first points, all failed after their tries,
// and says to look for what answers there.
TEST(Probe, ASilentDeviceStopsAfterTheFirstPoints) {
  const LoopbackSocket silent;
  BacnetIpClient client({milliseconds(1), 1, 0});
  const ProbeReport report = probeDevice(client, silent.endpoint());
  const std::string text = probeText(report);
  const std::string points = std::to_string(kFirstPointsToAnswer);
  EXPECT_EQ(linesStarting(text, "points: "),
            (std::vector<std::string>{"points: " + points + " of 284, read 0, failed " + points +
                                      " (no-answer " + points + ")"}));
  EXPECT_EQ(linesStarting(text, "answer times: "),
            (std::vector<std::string>{"answer times: no answers"}));
  EXPECT_TRUE(linesStarting(text, "estimated cycle: ").empty());
  EXPECT_EQ(linesStarting(text, "verdict: "),
            (std::vector<std::string>{
                "verdict: the device does not answer: none of the first 3 points got an answer; "
                "try vornk-host discover --target " +
                silent.endpoint() + " to see what answers there"}));
  const Json::Value json = parseJson(probeJson(report));
  EXPECT_FALSE(json["summary"].isMember("answer_us"));
  EXPECT_EQ(json["summary"]["stopped_early"].asString(), "no-answer");
  EXPECT_EQ(json["points"][Json::ArrayIndex(kFirstPointsToAnswer - 1)]["failure"]["tries"].asUInt(),
            2u);
  EXPECT_EQ(probeStatus(report), 1);
}

// An Error is an answer: a device that refuses the first point and drops the next ones is probed
// to the end.
TEST(Probe, AnErrorAmongTheFirstPointsIsAnAnswer) {
  SimulatorSettings settings;
  settings.error = {{kPoints[0].type, kPoints[0].instance}};
  settings.drop = {{kPoints[1].type, kPoints[1].instance}, {kPoints[2].type, kPoints[2].instance}};
  const ServingSimulator device(settings);
  BacnetIpClient client({milliseconds(200), 0, 0});
  const ProbeReport report = probeDevice(client, device.endpoint());
  EXPECT_EQ(report.end, ProbeReport::End::AllPoints);
  EXPECT_FALSE(parseJson(probeJson(report))["summary"].isMember("stopped_early"));
}

// Answer times by nearest rank over the answers that came back, refusals included; the estimated
// cycle adds the values' times and counts each failed point at the median.
TEST(Probe, SummaryTimesAreNearestRanks) {
  ProbeReport report{"h:1", {milliseconds(3000), 3, 0}, {}};
  for (std::size_t i = 0; i < 20; ++i) {
    PointProbe probe{vk::device::kPoints[i], 0u, std::nullopt, milliseconds(i + 1)};
    if (i == 19)
      probe = {vk::device::kPoints[i], std::nullopt, ReadFailure{Kind::Reject, 1, 0, 9},
               milliseconds(20)};
    report.points.push_back(probe);
  }
  report.points.push_back(
      {vk::device::kPoints[20], std::nullopt, ReadFailure{Kind::NoAnswer, 4}, milliseconds(12000)});
  const std::string text = probeText(report);
  // Answers 1..20 ms: the 10th of 20 is the median, the 19th the 95th percentile; the silent
  // point is no answer. Reads 1+..+19 = 190 ms, plus two failed points at 10 ms.
  EXPECT_EQ(linesStarting(text, "answer times: "),
            (std::vector<std::string>{"answer times: median 10.00 ms, 95th percentile 19.00 ms, "
                                      "maximum 20.00 ms"}));
  EXPECT_EQ(linesStarting(text, "estimated cycle: "),
            (std::vector<std::string>{"estimated cycle: 210.00 ms of reads, then the module's 5 s "
                                      "pause (failed points counted at the median)"}));
  EXPECT_EQ(linesStarting(text, "points: "),
            (std::vector<std::string>{"points: 21, read 19, failed 2 (no-answer 1, reject 1)"}));
}

// Interrupted before any failure, probe cannot tell: no estimated cycle, no rounds, status 1.
TEST(Probe, AnInterruptedProbeWithoutFailuresCompletesNoRound) {
  ProbeReport report{"h:1", {milliseconds(3000), 3, 0}, {}, ProbeReport::End::Interrupted};
  report.points.push_back({kPoints[0], 1u, std::nullopt, milliseconds(1)});
  const std::string text = probeText(report);
  EXPECT_TRUE(linesStarting(text, "estimated cycle: ").empty()) << text;
  const Json::Value json = parseJson(probeJson(report));
  EXPECT_FALSE(json["summary"].isMember("estimated_cycle_us"));
  EXPECT_FALSE(json["summary"]["completes_rounds"].asBool());
  EXPECT_EQ(probeStatus(report), 1);
}
