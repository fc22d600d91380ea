// The generic data device between the host's device class and a concrete driver: it owns the
// driver's data record and the configuration and threshold tables, imports the settings,
// completes rounds (time stamp, publication, threshold evaluation, batch check, history) and
// restores cached records.
//
// Record must begin with the 32-bit data_id and end with the 7-byte stamp.
//
// Locks, taken only in this order: roundLock_, thresholdLock_, the host's bacnetMutex,
// recordLock_ (what each guards is said at the member). The rules the host must keep, the
// bounded waits and the calls back into the device that are refused are in docs/host.md.
#pragma once

#include <atomic>
#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "unidata/bounded_lock.h"
#include "unidata/fixed_texts.h"
#include "unidata/host.h"
#include "unidata/log_line.h"
#include "unidata/member_walk.h"
#include "unidata/model_config.h"
#include "unidata/refusal.h"
#include "unidata/settings_text.h"
#include "unidata/signal_check.h"
#include "unidata/signal_threshold.h"
#include "unidata/thread_mark.h"
#include "unidata/threshold_check.h"
#include "unidata/threshold_import.h"

template <typename Record, typename HostDevice, int PublishId>
class DavEdizEvivev : public HostDevice {
  static_assert(offsetof(Record, data_id) == 0 && sizeof(Record::data_id) == 4);
  static_assert(offsetof(Record, stamp) + sizeof(ttime) == sizeof(Record));

 public:
  static constexpr unsigned int kRecordSize = sizeof(Record);

  DavEdizEvivev() {
    std::memset(&record_, 0, sizeof record_);
    std::memset(&published_, 0, sizeof published_);
    b_mode_ = 1;
  }
  ~DavEdizEvivev() override = default;

  using HostDevice::CheckAOReport;
  using HostDevice::LoadFromCache;

  // Restores a cached record and completes a round with it on the calling thread. The round
  // publishes exactly the cached bytes with a new stamp; a sampling cycle it lands in stores
  // nothing more and completes no round.
  bool LoadFromCache(const unsigned char* data, int length) override {
    if (data == nullptr || length != static_cast<int>(kRecordSize)) return false;
    if (refuseInsideOwnWork("LoadFromCache")) return false;
    const std::unique_lock<vk::unidata::BoundedLock> round = takeRoundLock("LoadFromCache");
    if (!round.owns_lock()) return false;
    {
      std::lock_guard<std::mutex> lock(recordLock_);
      restoreRecord(data);
    }
    this->dataReady_ = true;
    cachedRecord_ = data;
    try {
      this->RoundDone();
    } catch (...) {
      cachedRecord_ = nullptr;
      throw;
    }
    cachedRecord_ = nullptr;
    return true;
  }

  // Completes a round: stamps the record and publishes it from published_, where it stays valid
  // for the host until the next publication; evaluates; passes on the queued rule_values; stores
  // the record as history. Refused for a sampling cycle that a restore interrupted, and for a
  // call of another thread while a cycle is under way.
  void RoundDone() override {
    // A round inside a round would clear the rules the host is walking, among other things.
    if (refuseInsideOwnWork("RoundDone")) return;
    const std::unique_lock<vk::unidata::BoundedLock> round = takeRoundLock("RoundDone");
    if (!round.owns_lock()) return;
    if (refuseRoundInCycle()) return;
    const vk::unidata::ThreadMark::Scope inRound(roundThread_);
    this->dataReady_ = true;
    const boost::posix_time::ptime now = boost::posix_time::second_clock::local_time();
    this->roundTime_ = now;
    const unsigned char* bytes = stampAndPublish(get_ttime(now));
    if (bytes == nullptr) {
      refuse("RoundDone", vk::unidata::refusal::kCycleUnderWay);
      return;
    }
    this->ZeqVDevice::SendSP(PublishId, bytes, kRecordSize, false);
    this->Reset();
    this->checkResult_ = false;
    this->roundState_ = 1;
    this->RunCheckThreshold();
    evaluateThresholds();
    vk::unidata::writeLine(
        {vk::unidata::text::kRuleValues,
         vk::unidata::DecimalText(static_cast<long long>(this->ruleValues_.size()))});
    const bool batchResult = this->DoBatchCheckThreshold(this->ruleValues_);
    this->checkResult_ = this->checkResult_ || batchResult;
    this->SaveDeviceHistory(bytes, kRecordSize);
    this->ruleValues_.clear();
  }

  // Writes the data identifier, takes the mode from "appSetting"/"b_mode", runs the mode's
  // import (1: configuration file, 3: mobile identifiers, 5: threshold maps) and hands the
  // settings to the host. Settings that are not a JSON object, and import errors, leave as
  // exceptions before the host call, as does a threshold lock that stays taken (then nothing
  // but the data identifier has changed). Returns what the host's returns, in the host's type
  // (taken through this, so that a protected InitSetting of the host's serves as well).
  auto InitSetting(const Json::Value& settings)
      -> decltype(this->ZeqVDevice::InitSetting(settings)) override {
    refuseSettingsInsideOwnWork();
    writeDataId();
    if (const char* why = vk::unidata::notAnObject(settings)) {
      throw std::invalid_argument(std::string("settings: ") + why);
    }
    // Asked of the host before the lock: no host call is made while an import holds it.
    const std::uint32_t dataId = this->DataId();
    const std::string deviceType = this->DeviceType();
    {
      const std::unique_lock<vk::unidata::BoundedLock> tables(thresholdLock_, lockWait_);
      if (!tables.owns_lock()) {
        throw std::runtime_error(refuse(
            "InitSetting",
            vk::unidata::refusal::lockTaken(vk::unidata::refusal::kThresholdLock, lockWait_)));
      }
      importSettings(settings, dataId, deviceType);
    }
    return this->ZeqVDevice::InitSetting(settings);
  }

  virtual void RunCheckThreshold() {}
  virtual void GenJsonData() {}

  // Evaluates the bands of map against valueMap_ and reports each entry that has a numeric value
  // through the host's CheckThresholdBool. upper: alarm at or above the threshold; otherwise at
  // or below. The caller holds thresholdLock_.
  void CheckSignalThresholdMap(SignalThresholdMap& map, bool upper) {
    // Both are ordered by key: one walk along valueMap_ finds every band's value.
    vk::unidata::MemberWalk values(valueMap_);
    for (auto& [key, band] : map) {
      const Json::Value* member = values.find(key);
      if (member == nullptr || !member->isNumeric()) continue;
      const float value = member->asFloat();
      const std::string message = vk::unidata::stepThreshold(band, value, upper);
      this->ZeqVDevice::CheckThresholdBool(band.alarmLevel, key, band.alarmId,
                                           vk::unidata::floatText(value), message, band.alarmActive,
                                           1);
    }
  }

  // Reports value under signalId through the host when the signal's report rule (its own, or on
  // first use a copy of templateId's) asks for it; true when it did. The caller holds
  // thresholdLock_.
  bool CheckAOReport(const std::string& templateId, const std::string& signalId, float value) {
    auto* rule = vk::unidata::aoReportRule(this->aoReportSettings_, templateId, signalId);
    if (rule == nullptr || !vk::unidata::aoReportDue(*rule, value, vk::unidata::wallClock))
      return false;
    rule->lastReportValue = value;
    rule->lastReportTime = static_cast<std::uint32_t>(vk::unidata::wallClock());
    this->ZeqVDevice::CheckAOReport(signalId, value);
    return true;
  }

 protected:
  // The round's evaluation. Mode 5: the four threshold maps, up, up2, low, low2. Mode 1: every
  // configured signal with a value goes to the host's CheckThreshold under its template ID, then
  // to the analog report check. Other modes evaluate nothing.
  void evaluateThresholds() {
    const int mode = b_mode_;
    if (mode != 1 && mode != 5) return;
    GenJsonData();
    const std::unique_lock<vk::unidata::BoundedLock> lock(thresholdLock_, lockWait_);
    if (!lock.owns_lock()) {
      refuse("threshold evaluation",
             vk::unidata::refusal::lockTaken(vk::unidata::refusal::kThresholdLock, lockWait_));
      return;
    }
    const vk::unidata::ThreadMark::Scope evaluating(evaluationThread_);
    if (mode == 5) {
      CheckSignalThresholdMap(upThresholdMap_, true);
      CheckSignalThresholdMap(up2ThresholdMap_, true);
      CheckSignalThresholdMap(lowThresholdMap_, false);
      CheckSignalThresholdMap(low2ThresholdMap_, false);
      return;
    }
    // Every signal's key is added to valueMap_ (as null) when missing, and a null valueMap_
    // becomes an object for it; a valueMap_ that is neither has no members to look up. Both are
    // ordered by key: one walk along valueMap_ finds every signal's value.
    if (!valueMap_.isNull() && !valueMap_.isObject()) return;
    vk::unidata::MemberWalk values(valueMap_);
    for (const auto& [key, signal] : aiSignalMap_) {
      const std::optional<float> value = vk::unidata::signalValue(values.findOrAdd(key));
      if (!value) continue;
      const std::string templateId = vk::unidata::templateId(signal.first);
      this->ZeqVDevice::CheckThreshold(templateId, signal.second, *value, 1);
      CheckAOReport(templateId, signal.first, *value);
    }
  }

  unsigned char* recordBytes() { return reinterpret_cast<unsigned char*>(&record_); }

  // One sampling cycle of the driver, on the calling thread, from the first read to the end of
  // its round. A restore that lands after the cycle's first store interrupts it: its later
  // stores and its round are refused, and the record stays the cached one.
  class SamplingCycle {
   public:
    explicit SamplingCycle(DavEdizEvivev& device) : device_(device), mark_(device.cycleThread_) {}
    ~SamplingCycle() {
      std::lock_guard<std::mutex> lock(device_.recordLock_);
      device_.cycleTicket_.reset();
    }
    SamplingCycle(const SamplingCycle&) = delete;
    SamplingCycle& operator=(const SamplingCycle&) = delete;

   private:
    DavEdizEvivev& device_;
    const vk::unidata::ThreadMark::Scope mark_;
  };

  // Writes the first size bytes of the 32-bit cell (its low-order bytes: the machine is
  // little-endian) at offset of the record and returns what the slot then holds; nothing, and
  // the record untouched, when a restore has interrupted the cycle. Called by the cycle with
  // bacnetMutex held.
  std::optional<std::uint32_t> storeValue(std::size_t offset, const void* cell, std::size_t size) {
    std::uint32_t stored = 0;
    std::lock_guard<std::mutex> lock(recordLock_);
    if (!cycleTicket_) cycleTicket_ = restores_;
    if (*cycleTicket_ != restores_) return std::nullopt;
    std::memcpy(recordBytes() + offset, cell, size);
    std::memcpy(&stored, recordBytes() + offset, size);
    return stored;
  }

  // Copies a cached record over the record. recordLock_ is held.
  void restoreRecord(const unsigned char* data) {
    std::memcpy(&record_, data, kRecordSize);
    ++restores_;
  }

  // When the round about to begin may not publish the record, writes the line that says why and
  // returns true: the round of a cycle that a restore interrupted, or a round of another thread
  // while a cycle has stored points (unless it completes a restore). The round of a cycle that
  // goes on ends the cycle's stores. The caller holds roundLock_, which keeps restores out.
  bool refuseRoundInCycle() {
    // A restore's round is never the cycle's, even on the cycle's thread.
    const bool ownCycle = cycleThread_.heldByThisThread() && cachedRecord_ == nullptr;
    bool conflict;
    {
      std::lock_guard<std::mutex> lock(recordLock_);
      conflict = ownCycle ? cycleTicket_ && *cycleTicket_ != restores_ : otherRoundInCycle();
      if (ownCycle) cycleTicket_.reset();
    }
    if (!conflict) return false;
    if (ownCycle) {
      refuse(vk::unidata::refusal::kSamplingCycle, vk::unidata::refusal::kRestoredDuringCycle);
    } else {
      refuse("RoundDone", vk::unidata::refusal::kCycleUnderWay);
    }
    return true;
  }

  // Whether the calling thread's round, which is not a cycle's own, would publish points of a
  // cycle beside older ones. recordLock_ is held.
  bool otherRoundInCycle() const {
    return !cycleThread_.heldByThisThread() && cachedRecord_ == nullptr && cycleTicket_;
  }

  // Writes stamp into the record and copies the record into published_, both under the record
  // lock, so that a cycle storing points meanwhile cannot tear it; returns published_'s bytes, or
  // null when a cycle began storing since this round of another thread began. A round that
  // completes a cached record takes the cached bytes again: a cycle may have stored points since
  // LoadFromCache copied them in, and is interrupted by it. The caller holds roundLock_.
  const unsigned char* stampAndPublish(const ttime& stamp) {
    std::lock_guard<std::mutex> lock(recordLock_);
    if (otherRoundInCycle()) return nullptr;
    if (cachedRecord_ != nullptr) restoreRecord(cachedRecord_);
    std::memcpy(recordBytes() + offsetof(Record, stamp), &stamp, sizeof stamp);
    std::memcpy(&published_, &record_, kRecordSize);
    return reinterpret_cast<const unsigned char*>(&published_);
  }

  // Copies DataId() into the record's data_id.
  void writeDataId() {
    const std::uint32_t id = this->DataId();
    std::lock_guard<std::mutex> lock(recordLock_);
    std::memcpy(recordBytes() + offsetof(Record, data_id), &id, sizeof id);
  }

  // Writes the line saying operation is refused and why, and returns it.
  std::string refuse(std::string_view operation, std::string_view why) {
    std::string line = vk::unidata::refusal::line(this->DeviceType(), operation, why);
    vk::unidata::writeLine({line});
    return line;
  }

  // Throws std::logic_error when the calling thread is inside this device's threshold evaluation
  // or BACnet exchange, that is, InitSetting was called from one of their host calls.
  void refuseSettingsInsideOwnWork() {
    std::string_view why;
    if (evaluationThread_.heldByThisThread()) why = vk::unidata::refusal::kInsideEvaluation;
    if (exchangeThread_.heldByThisThread()) why = vk::unidata::refusal::kInsideExchange;
    if (why.empty()) return;
    throw std::logic_error(vk::unidata::refusal::line(this->DeviceType(), "InitSetting", why));
  }

  // True when the calling thread is completing one of this device's rounds.
  bool insideOwnRound() const { return roundThread_.heldByThisThread(); }

  // When the calling thread is inside one of this device's rounds or its BACnet exchange, that
  // is, operation was called from one of their host calls: writes a line saying so and returns
  // true.
  bool refuseInsideOwnWork(std::string_view operation) {
    if (exchangeThread_.heldByThisThread()) {
      refuse(operation, vk::unidata::refusal::kInsideExchange);
      return true;
    }
    if (!insideOwnRound()) return false;
    refuse(operation, vk::unidata::refusal::kInsideRound);
    return true;
  }

  // Takes roundLock_ within lockWait_; when it stays taken, writes the line saying operation is
  // refused and returns the lock not owned.
  std::unique_lock<vk::unidata::BoundedLock> takeRoundLock(std::string_view operation) {
    std::unique_lock<vk::unidata::BoundedLock> round(roundLock_, lockWait_);
    if (!round.owns_lock()) {
      refuse(operation,
             vk::unidata::refusal::lockTaken(vk::unidata::refusal::kRoundLock, lockWait_));
    }
    return round;
  }

  // Sets the mode from the settings and runs its import for the device with that data identifier
  // and type. The caller holds thresholdLock_.
  void importSettings(const Json::Value& settings, std::uint32_t dataId,
                      const std::string& deviceType) {
    switch (takeMode(settings)) {
      case 1:
        vk::unidata::importModelConfig(dataId, deviceType, aiSignalMap_, alarmSignalIdMap_);
        break;
      case 3:
        vk::unidata::importMobileIds(settings, dataId, mobileIdMap_, mobileNameMap_,
                                     this->signalLevelMap, this->signalValueMap);
        break;
      case 5:
        vk::unidata::importThresholdSettings(settings, upThresholdMap_, up2ThresholdMap_,
                                             lowThresholdMap_, low2ThresholdMap_);
        break;
      default:
        break;
    }
  }

  // Sets b_mode_ from the settings when they give one, and returns the mode to import in. The
  // caller holds thresholdLock_.
  int takeMode(const Json::Value& settings) {
    const vk::unidata::ModeSetting setting = vk::unidata::readModeSetting(settings);
    if (setting.ignoredBy != nullptr) {
      vk::unidata::writeLine({vk::unidata::text::kInitSetting,
                              vk::unidata::DecimalText(recordDataId()),
                              vk::unidata::text::kModeIgnored, setting.ignoredBy});
    }
    if (!setting.mode) return b_mode_;
    b_mode_ = *setting.mode;
    vk::unidata::writeLine({vk::unidata::text::kInitSetting,
                            vk::unidata::DecimalText(recordDataId()), vk::unidata::text::kMode,
                            vk::unidata::DecimalText(static_cast<long long>(*setting.mode))});
    return *setting.mode;
  }

  unsigned long long recordDataId() {
    std::uint32_t id;
    std::lock_guard<std::mutex> lock(recordLock_);
    std::memcpy(&id, recordBytes() + offsetof(Record, data_id), sizeof id);
    return id;
  }

  Record record_;
  // Read by rounds without thresholdLock_, written under it.
  std::atomic<int> b_mode_;
  std::map<std::string, std::string> mobileIdMap_;
  std::map<std::string, std::string> mobileNameMap_;
  vk::unidata::AlarmIdMap alarmSignalIdMap_;
  SignalThresholdMap upThresholdMap_;
  SignalThresholdMap up2ThresholdMap_;
  SignalThresholdMap lowThresholdMap_;
  SignalThresholdMap low2ThresholdMap_;
  // The mode and the signal, alarm, mobile and threshold maps. Imports hold it without calling
  // the host; the round's evaluation holds it across CheckThreshold, CheckThresholdBool and
  // CheckAOReport.
  vk::unidata::BoundedLock thresholdLock_{vk::unidata::refusal::kThresholdLock};
  // The round's values by key, filled by GenJsonData(); read and, in mode 1, extended by the
  // evaluation under thresholdLock_.
  Json::Value valueMap_;
  vk::unidata::AiSignalMap aiSignalMap_;
  // Whole rounds (RoundDone, and LoadFromCache with the round it completes), held across the
  // round's host calls and never taken under bacnetMutex. Recursive because LoadFromCache holds
  // it across the round it completes.
  vk::unidata::BoundedLock roundLock_{vk::unidata::refusal::kRoundLock};
  // record_, published_ and the cycle's state below, held only to copy bytes, never across a host
  // call.
  std::mutex recordLock_;
  // Restores so far; and, once the cycle under way has stored a point, the restores so far then.
  unsigned restores_ = 0;
  std::optional<unsigned> cycleTicket_;
  // What the last round published and stored: the host may keep the pointer it was given until
  // the device is deleted. Written by rounds alone, under roundLock_ and recordLock_.
  Record published_;
  // How long a call waits for roundLock_ or thresholdLock_. Tests shorten it before the device is
  // used.
  std::chrono::milliseconds lockWait_ = vk::unidata::refusal::kLockWait;
  // The caller's bytes while LoadFromCache completes its round; null otherwise. Under roundLock_.
  const unsigned char* cachedRecord_ = nullptr;
  vk::unidata::ThreadMark roundThread_;       // the thread inside RoundDone
  vk::unidata::ThreadMark evaluationThread_;  // the thread inside the evaluation
  vk::unidata::ThreadMark exchangeThread_;    // the thread inside the driver's BACnet exchange
  vk::unidata::ThreadMark cycleThread_;       // the thread inside the driver's sampling cycle
};
