#include "tools/history_decode.h"

#include <boost/date_time/gregorian/greg_calendar.hpp>
#include <charconv>
#include <cmath>
#include <cstring>
#include <istream>
#include <ostream>

#include "bacnet/enumerations.h"
#include "device/vornk_data.h"
#include "tools/record_text.h"
#include "ttime.h"

namespace vk::tools {

namespace {

std::string stampText(const unsigned char* record) {
  return format_ttime(device::recordStamp(record));
}

}  // namespace

bool plausibleStamp(const ttime& stamp) {
  const unsigned year = stamp.year_lo | stamp.year_hi << 8;
  if (year < 1970 || year > 2199 || stamp.month < 1 || stamp.month > 12) return false;
  const unsigned days = boost::gregorian::gregorian_calendar::end_of_month_day(year, stamp.month);
  return stamp.day >= 1 && stamp.day <= days && stamp.hour <= 23 && stamp.minute <= 59 &&
         stamp.second <= 60;
}

std::string floatValueText(float value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string floatValueJson(float value) {
  const std::string text = floatValueText(value);
  return std::isfinite(value) ? text : '"' + text + '"';
}

std::string pointValueText(const device::Point& point, const unsigned char* record) {
  if (point.size == 1) return std::to_string(device::binaryValue(point, record));
  return floatValueText(device::analogValue(point, record));
}

std::string csvHeader() {
  std::string header = "data_id,time";
  for (const device::Point& point : device::kPoints) {
    header += ',';
    header += bacnet::objectTypeName(point.type);
    header += ' ';
    header += std::to_string(point.instance);
  }
  return header + '\n';
}

std::string csvRow(const unsigned char* record) {
  std::string row = std::to_string(device::recordDataId(record)) + ',' + stampText(record);
  for (const device::Point& point : device::kPoints) {
    row += ',';
    row += pointValueText(point, record);
  }
  return row + '\n';
}

std::string jsonLine(const unsigned char* record) {
  std::string line = "{\"data_id\":" + std::to_string(device::recordDataId(record)) +
                     ",\"time\":\"" + stampText(record) + "\",\"points\":[";
  bool first = true;
  for (const device::Point& point : device::kPoints) {
    const std::string value = point.size == 1 ? pointValueText(point, record)
                                              : floatValueJson(device::analogValue(point, record));
    line += first ? "{\"type\":\"" : ",{\"type\":\"";
    line += bacnet::objectTypeName(point.type);
    line += "\",\"instance\":" + std::to_string(point.instance) + ",\"value\":" + value + '}';
    first = false;
  }
  return line + "]}\n";
}

bool decodeHistory(std::istream& in, DecodeFormat format, std::ostream& out, std::string& error,
                   const std::function<void(const std::string&)>& note) {
  if (format == DecodeFormat::Csv) out << csvHeader();
  unsigned char record[sizeof(vornk_Data_t)];
  for (std::uint64_t records = 0;; ++records) {
    in.read(reinterpret_cast<char*>(record), sizeof record);
    const std::streamsize got = in.gcount();
    if (got == static_cast<std::streamsize>(sizeof record)) {
      out << (format == DecodeFormat::Csv ? csvRow(record) : jsonLine(record));
      if (!plausibleStamp(device::recordStamp(record))) {
        note("record " + std::to_string(records + 1) + ": its time stamp " + stampText(record) +
             " is not a plausible date; the file may not be a vornk history or may be cut at the "
             "wrong place");
      }
      continue;
    }
    if (in.bad()) {
      error = "reading failed after " + std::to_string(records) + " records";
      return false;
    }
    if (got != 0) {
      error = "the file ends " + std::to_string(got) + " bytes into record " +
              std::to_string(records + 1) + " (a record is " +
              std::to_string(sizeof(vornk_Data_t)) + " bytes)";
      return false;
    }
    return true;
  }
}

}  // namespace vk::tools
