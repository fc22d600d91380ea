// The generic data device between the host's device class and a concrete driver: it owns the
// driver's data record and the configuration and threshold tables, completes rounds (time
// stamp, publication, batch check, history) and restores cached records.
//
// Record must begin with the 32-bit data_id and end with the 7-byte stamp. Whole rounds and every
// write of the record happen under recordLock_, so a round never publishes a half-written record
// and two rounds never run at once. Lock order: the host's bacnetMutex, then recordLock_, then
// thresholdLock_.
#pragma once

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "json.h"
#include "log_line.h"
#include "signal_threshold.h"
#include "ttime.h"
#include "zeq_vdevice.h"

template <typename Record, typename HostDevice, int PublishId>
class DavEdizEvivev : public HostDevice {
  static_assert(offsetof(Record, data_id) == 0 && sizeof(Record::data_id) == 4);
  static_assert(offsetof(Record, stamp) + sizeof(ttime) == sizeof(Record));

 public:
  static constexpr unsigned int kRecordSize = sizeof(Record);

  DavEdizEvivev() {
    std::memset(&record_, 0, sizeof record_);
    b_mode_ = 1;
  }
  ~DavEdizEvivev() override = default;

  using HostDevice::LoadFromCache;

  // Restores a cached record and completes a round with it on the calling thread.
  bool LoadFromCache(const unsigned char* data, int length) override {
    if (data == nullptr || length != static_cast<int>(kRecordSize)) return false;
    std::lock_guard<std::recursive_mutex> lock(recordLock_);
    std::memcpy(&record_, data, kRecordSize);
    this->dataReady_ = true;
    this->RoundDone();
    return true;
  }

  void RoundDone() override {
    std::lock_guard<std::recursive_mutex> lock(recordLock_);
    this->dataReady_ = true;
    const boost::posix_time::ptime now = boost::posix_time::second_clock::local_time();
    this->roundTime_ = now;
    const ttime stamp = get_ttime(now);
    std::memcpy(recordBytes() + offsetof(Record, stamp), &stamp, sizeof stamp);
    this->ZeqVDevice::SendSP(PublishId, recordBytes(), kRecordSize, false);
    this->Reset();
    this->checkResult_ = false;
    this->roundState_ = 1;
    this->RunCheckThreshold();
    unidata::writeLine(
        {"rvSize is ", unidata::DecimalText(static_cast<long long>(this->ruleValues_.size()))});
    const bool batchResult = this->DoBatchCheckThreshold(this->ruleValues_);
    this->checkResult_ = this->checkResult_ || batchResult;
    this->SaveDeviceHistory(recordBytes(), kRecordSize);
    this->ruleValues_.clear();
  }

  int InitSetting(const Json::Value& settings) override {
    writeDataId();
    return this->ZeqVDevice::InitSetting(settings);
  }

  virtual void RunCheckThreshold() {}
  virtual void GenJsonData() {}

 protected:
  unsigned char* recordBytes() { return reinterpret_cast<unsigned char*>(&record_); }

  // Copies DataId() into the record's data_id.
  void writeDataId() {
    const std::uint32_t id = this->DataId();
    std::lock_guard<std::recursive_mutex> lock(recordLock_);
    std::memcpy(recordBytes() + offsetof(Record, data_id), &id, sizeof id);
  }

  Record record_;
  int b_mode_;
  std::map<std::string, std::string> mobileIdMap_;
  std::map<std::string, std::string> mobileNameMap_;
  std::map<std::string, std::string> alarmSignalIdMap_;
  SignalThresholdMap upThresholdMap_;
  SignalThresholdMap up2ThresholdMap_;
  SignalThresholdMap lowThresholdMap_;
  SignalThresholdMap low2ThresholdMap_;
  std::mutex thresholdLock_;
  Json::Value valueMap_;
  std::map<std::string, std::pair<std::string, std::string>> aiSignalMap_;
  // Serialises rounds and writes of record_; recursive because LoadFromCache holds it across the
  // round it completes.
  std::recursive_mutex recordLock_;
};
