#include "tests/support/probe_vornk.h"

#include <mutex>
#include <utility>

namespace vk::test {

ProbeVornk::ProbeVornk(std::chrono::milliseconds pause) : vornk(pause) {}

ProbeVornk::~ProbeVornk() { stopSampling(); }

Bytes ProbeVornk::record() {
  std::lock_guard<std::mutex> lock(recordLock_);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&record_);
  return Bytes(bytes, bytes + sizeof record_);
}

bool ProbeVornk::zeroRecordRound() {
  static const unsigned char zeros[kRecordSize] = {};
  return LoadFromCache(zeros, kRecordSize);
}

void ProbeVornk::RoundDone() {
  if (beforeRound) beforeRound(*this);
  vornk::RoundDone();
}

void ProbeVornk::RunCheckThreshold() {
  if (inRunCheckThreshold) inRunCheckThreshold(*this);
}

void ProbeVornk::GenJsonData() {
  if (inGenJsonData) inGenJsonData(valueMap_);
}

void ProbeVornk::giveRoundValues(Json::Value values) {
  inGenJsonData = [values = std::move(values)](Json::Value& map) { map = values; };
}

Rig::Rig(std::chrono::milliseconds pause, const std::string& endpoint)
    : device(std::make_unique<ProbeVornk>(pause)),
      host(std::make_shared<doubles::RecordingServices>()),
      bacnet(std::make_shared<doubles::InProcessDevice>()) {
  device->AttachHostServices(host);
  device->AttachBacnetClient(bacnet);
  device->endpointText = endpoint;
}

Rig Rig::withoutSampling() {
  Rig rig;
  rig.device->requestStop();
  return rig;
}

}  // namespace vk::test
