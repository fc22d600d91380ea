// The model's configuration file: its location among eight candidate names and the import of its
// AI section (signals to evaluate) and ALARM section (alarm identifiers).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

namespace vk::unidata {

// key -> (signal identifier, signal name)
using AiSignalMap = std::map<std::string, std::pair<std::string, std::string>>;
// key -> alarm identifier
using AlarmIdMap = std::map<std::string, std::string>;

// The first existing name of "./ini/" and then "./ini/dederi/", each with the data identifier
// before the device type and ".yaml" before ".ini". Empty, after a line saying so, when none
// exists.
std::string findModelConfig(std::uint32_t dataId, const std::string& deviceType);

// An AI value split at its first comma into (signal identifier, signal name); a value without a
// comma is both.
std::pair<std::string, std::string> splitAiValue(const std::string& value);

// An ALARM value up to its first comma.
std::string alarmIdOf(const std::string& value);

// Locates the model's configuration file and, for an INI file, adds its AI and ALARM entries to
// the maps (new keys inserted, existing ones overwritten, none removed); then lists the whole AI
// map. The caller keeps the round's evaluation out of the maps. Reader errors and a missing
// section are thrown as the reader reports them; entries stored before the error stay.
void importModelConfig(std::uint32_t dataId, const std::string& deviceType, AiSignalMap& aiSignals,
                       AlarmIdMap& alarmIds);

}  // namespace vk::unidata
