#include "tests/support/exposed_vornk.h"

#include <mutex>
#include <utility>

namespace vk::test {

ExposedVornk::ExposedVornk(std::chrono::milliseconds pause) : vornk(pause) {}

ExposedVornk::~ExposedVornk() { stopSampling(); }

Bytes ExposedVornk::record() {
  std::lock_guard<std::mutex> lock(recordLock_);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&record_);
  return Bytes(bytes, bytes + sizeof record_);
}

bool ExposedVornk::zeroRecordRound() {
  static const unsigned char zeros[kRecordSize] = {};
  return LoadFromCache(zeros, kRecordSize);
}

void ExposedVornk::RoundDone() {
  if (beforeRound) beforeRound(*this);
  vornk::RoundDone();
}

void ExposedVornk::RunCheckThreshold() {
  if (inRunCheckThreshold) inRunCheckThreshold(*this);
}

void ExposedVornk::GenJsonData() {
  if (inGenJsonData) inGenJsonData(valueMap_);
}

void ExposedVornk::giveRoundValues(Json::Value values) {
  inGenJsonData = [values = std::move(values)](Json::Value& map) { map = values; };
}

Rig::Rig(std::chrono::milliseconds pause, const std::string& endpoint)
    : device(std::make_unique<ExposedVornk>(pause)),
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
