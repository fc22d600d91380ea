// A threshold request queued by the host's own checks.
#pragma once

#include <string>

struct rule_value {
  std::string signalId;
  std::string signalName;
  std::string value;
  std::string rule;
};
