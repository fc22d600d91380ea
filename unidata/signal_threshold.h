// One threshold band of one signal, and the map from signal name to its band.
#pragma once

#include <map>
#include <string>

struct SignalThreshold {
  std::string alarmId;        // identifier under which the band's alarm is reported
  float threshold = 0.0f;     // limit at which the alarm is raised
  float recoverValue = 0.0f;  // limit at which an active alarm ends
  bool alarmActive = false;
  int alarmLevel = 0;
};

using SignalThresholdMap = std::map<std::string, SignalThreshold>;
