#include "tools/probe.h"

#include <json/json.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

#include "bacnet/enumerations.h"
#include "tools/history_decode.h"
#include "tools/read_failure_text.h"

namespace vk::tools {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::microseconds;

// The module waits this long after each cycle before the next one.
constexpr int kCyclePauseSeconds = 5;

// What the points' outcomes add up to.
struct Summary {
  std::size_t read = 0;  // points that answered with a value
  std::map<bacnet::ReadFailure::Kind, std::size_t> failedByKind;
  // Times of every answer that came back, values and refusals alike, sorted.
  std::vector<microseconds> answerTimes;
  // The reads of one cycle: the points read, plus each failed one at the median answer time.
  microseconds estimatedCycle{0};

  std::size_t failed() const {
    std::size_t count = 0;
    for (const auto& entry : failedByKind) count += entry.second;
    return count;
  }
  // The smallest answer time that is not below the given share of the answers (nearest rank).
  microseconds percentile(double share) const {
    const auto rank = static_cast<std::size_t>(std::ceil(share * answerTimes.size()));
    return answerTimes[std::max<std::size_t>(rank, 1) - 1];
  }
};

bool answered(const PointProbe& probe) {
  return probe.value ||
         (probe.failure && probe.failure->kind != bacnet::ReadFailure::Kind::NoAnswer &&
          probe.failure->kind != bacnet::ReadFailure::Kind::NotSent &&
          probe.failure->kind != bacnet::ReadFailure::Kind::Interrupted);
}

Summary summarize(const ProbeReport& report) {
  Summary summary;
  for (const PointProbe& probe : report.points) {
    if (probe.value) {
      ++summary.read;
      summary.estimatedCycle += probe.elapsed;
    } else {
      ++summary.failedByKind[probe.failure->kind];
    }
    if (answered(probe)) summary.answerTimes.push_back(probe.elapsed);
  }
  std::sort(summary.answerTimes.begin(), summary.answerTimes.end());
  if (!summary.answerTimes.empty()) {
    summary.estimatedCycle += summary.failed() * summary.percentile(0.5);
  }
  return summary;
}

// "0.42 ms".
std::string milliseconds(microseconds time) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f ms", static_cast<double>(time.count()) / 1000.0);
  return text;
}

std::string valueJson(const PointProbe& probe) {
  if (bacnet::isBinary(probe.point.type)) return std::to_string(*probe.value);
  float number;
  std::memcpy(&number, &*probe.value, sizeof number);
  return floatValueJson(number);
}

std::string jsonString(const std::string& text) { return Json::valueToQuotedString(text.c_str()); }

}  // namespace

ProbeReport probeDevice(bacnet::BacnetIpClient& client, const std::string& endpoint,
                        const ProbeProgress& progress) {
  ProbeReport report{endpoint, client.settings(), {}};
  std::size_t failed = 0;
  if (progress) progress(0, 0);
  for (const device::Point& point : device::kPoints) {
    PointProbe probe{point, std::nullopt, std::nullopt, microseconds(0)};
    const Clock::time_point start = Clock::now();
    std::uint32_t value = 0;
    if (client.SendReadProperty(endpoint, point.type, point.instance, PROP_PRESENT_VALUE,
                                BACNET_ARRAY_ALL) &&
        client.Receive(value)) {
      probe.value = value;
    } else {
      probe.failure = client.lastFailure().value_or(bacnet::ReadFailure{});
      // Stopped from outside: no outcome of the device's.
      if (probe.failure->kind == bacnet::ReadFailure::Kind::Interrupted) {
        report.end = ProbeReport::End::Interrupted;
        break;
      }
      ++failed;
    }
    probe.elapsed = std::chrono::duration_cast<microseconds>(Clock::now() - start);
    report.points.push_back(probe);
    if (progress) progress(report.points.size(), failed);
    // Waiting out every point's tries where nothing answers would take most of an hour.
    if (report.points.size() == kFirstPointsToAnswer &&
        std::none_of(report.points.begin(), report.points.end(), answered)) {
      report.end = ProbeReport::End::NoAnswer;
      break;
    }
  }
  return report;
}

std::string probeProgressText(std::size_t done, std::size_t failed) {
  return "probe: " + std::to_string(done) + " of " + std::to_string(device::kPointCount) +
         " points, " + std::to_string(failed) + " failed";
}

std::string probeText(const ProbeReport& report) {
  const Summary summary = summarize(report);
  const bool complete = report.end == ProbeReport::End::AllPoints;
  const std::string ofAll = " of " + std::to_string(device::kPointCount);
  const unsigned retries = report.settings.retries;
  std::string text = "probe of " + report.endpoint + " (timeout " +
                     std::to_string(report.settings.apduTimeout.count()) + " ms, " +
                     std::to_string(retries) + (retries == 1 ? " retry" : " retries") + ")\n";
  if (summary.failed() > 0) {
    text += "failed points:\n";
    for (const PointProbe& probe : report.points) {
      if (!probe.failure) continue;
      char row[64];
      std::snprintf(row, sizeof row, "  %-22s %12s  ",
                    pointName(probe.point.type, probe.point.instance).c_str(),
                    milliseconds(probe.elapsed).c_str());
      text += row + failureText(*probe.failure, report.settings) + "\n";
    }
  }
  text += "points: " + std::to_string(report.points.size()) + (complete ? "" : ofAll) + ", read " +
          std::to_string(summary.read) + ", failed " + std::to_string(summary.failed());
  if (summary.failed() > 0) {
    const char* separator = " (";
    for (const auto& [kind, count] : summary.failedByKind) {
      text += separator + std::string(failureKindName(kind)) + " " + std::to_string(count);
      separator = ", ";
    }
    text += ")";
  }
  text += "\n";
  if (summary.answerTimes.empty()) {
    text += "answer times: no answers\n";
  } else {
    text += "answer times: median " + milliseconds(summary.percentile(0.5)) + ", 95th percentile " +
            milliseconds(summary.percentile(0.95)) + ", maximum " +
            milliseconds(summary.answerTimes.back()) + "\n";
    if (complete) {
      text += "estimated cycle: " + milliseconds(summary.estimatedCycle) +
              " of reads, then the module's " + std::to_string(kCyclePauseSeconds) + " s pause" +
              (summary.failed() > 0 ? " (failed points counted at the median)" : "") + "\n";
    }
  }
  if (report.end == ProbeReport::End::NoAnswer) {
    text += "verdict: the device does not answer: none of the first " +
            std::to_string(kFirstPointsToAnswer) +
            " points got an answer; try vornk-host discover --target " + report.endpoint +
            " to see what answers there\n";
  } else if (report.end == ProbeReport::End::Interrupted) {
    text += "verdict: none, the probe was interrupted after " +
            std::to_string(report.points.size()) + ofAll + " points\n";
  } else if (summary.failed() == 0) {
    text += "verdict: the module would complete rounds with this device\n";
  } else {
    text += "verdict: the module would complete no round with this device: a round needs all " +
            std::to_string(report.points.size()) + " points, and " +
            std::to_string(summary.failed()) + " failed\n";
  }
  return text;
}

std::string probeJson(const ProbeReport& report) {
  const Summary summary = summarize(report);
  const bool complete = report.end == ProbeReport::End::AllPoints;
  std::string json = "{\"device\":" + jsonString(report.endpoint) +
                     ",\"apdu_timeout_ms\":" + std::to_string(report.settings.apduTimeout.count()) +
                     ",\"retries\":" + std::to_string(report.settings.retries) + ",\"points\":[";
  const char* separator = "";
  for (const PointProbe& probe : report.points) {
    json += separator;
    separator = ",";
    json += "{\"type\":\"" + std::string(bacnet::objectTypeName(probe.point.type)) +
            "\",\"instance\":" + std::to_string(probe.point.instance) +
            ",\"elapsed_us\":" + std::to_string(probe.elapsed.count());
    if (probe.value) {
      json += ",\"value\":" + valueJson(probe) + "}";
      continue;
    }
    const bacnet::ReadFailure& failure = *probe.failure;
    json += ",\"failure\":{\"kind\":\"" + std::string(failureKindName(failure.kind)) +
            "\",\"tries\":" + std::to_string(failure.tries);
    if (failure.kind == bacnet::ReadFailure::Kind::Error) {
      json += ",\"error_class\":" + std::to_string(failure.errorClass) +
              ",\"error_code\":" + std::to_string(failure.errorCode);
    } else if (failure.kind == bacnet::ReadFailure::Kind::Reject ||
               failure.kind == bacnet::ReadFailure::Kind::Abort) {
      json += ",\"reason\":" + std::to_string(failure.errorCode);
    }
    json += ",\"text\":" + jsonString(failureText(failure, report.settings)) + "}}";
  }
  json += "],\"summary\":{\"points\":" + std::to_string(report.points.size()) +
          ",\"read\":" + std::to_string(summary.read) +
          ",\"failed\":" + std::to_string(summary.failed()) + ",\"failed_by_kind\":{";
  separator = "";
  for (const auto& [kind, count] : summary.failedByKind) {
    json += separator + std::string("\"") + std::string(failureKindName(kind)) +
            "\":" + std::to_string(count);
    separator = ",";
  }
  json += "}";
  if (!summary.answerTimes.empty()) {
    json += ",\"answer_us\":{\"median\":" + std::to_string(summary.percentile(0.5).count()) +
            ",\"p95\":" + std::to_string(summary.percentile(0.95).count()) +
            ",\"max\":" + std::to_string(summary.answerTimes.back().count()) + "}";
    if (complete) {
      json += ",\"estimated_cycle_us\":" + std::to_string(summary.estimatedCycle.count());
    }
  }
  if (!complete) {
    json += std::string(",\"stopped_early\":") +
            (report.end == ProbeReport::End::NoAnswer ? "\"no-answer\"" : "\"interrupted\"");
  }
  json += std::string(",\"completes_rounds\":") +
          (complete && summary.failed() == 0 ? "true" : "false") + "}}\n";
  return json;
}

int probeStatus(const ProbeReport& report) {
  if (report.end != ProbeReport::End::AllPoints) return 1;
  for (const PointProbe& probe : report.points) {
    if (!probe.value) return 1;
  }
  return 0;
}

}  // namespace vk::tools
