// vornk-host decode: a history file (raw records, one after the other) back into rows.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>

#include "device/point_table.h"

struct ttime;

namespace vk::tools {

enum class DecodeFormat {
  Csv,        // a header row, then per record: data_id, time, one column per point
  JsonLines,  // per record: {"data_id":..,"time":"..","points":[{"type","instance","value"}..]}
};

// The shortest text that reads back as the same float; "nan", "inf" or "-inf" otherwise.
std::string floatValueText(float value);
// The same as a JSON value: a number, or a string for "nan", "inf" and "-inf".
std::string floatValueJson(float value);

// The exact text of a point's value in a record: binary points the stored byte in decimal, analog
// points the shortest text that reads back as the same float ("nan", "inf" or "-inf" otherwise).
std::string pointValueText(const device::Point& point, const unsigned char* record);

std::string csvHeader();
// One row or line (newline included) of a record.
std::string csvRow(const unsigned char* record);
std::string jsonLine(const unsigned char* record);

// Whether a stamp is a date and time that a controller's clock gives: a year from 1970 to 2199, a
// day its month has, hours up to 23, minutes up to 59 and seconds up to 60 (a leap second).
bool plausibleStamp(const ttime& stamp);

// Writes every record read from in. Since a round always stamps its record, a stamp that is no
// plausible date means a file that is no history or is cut at the wrong place: such a record is
// still written, and note gets a line about it (without a newline). False with error set when the
// input ends inside a record (the whole records before it are written) or cannot be read.
bool decodeHistory(std::istream& in, DecodeFormat format, std::ostream& out, std::string& error,
                   const std::function<void(const std::string&)>& note);

}  // namespace vk::tools
