#include "tools/printing_services.h"

#include <cstring>
#include <utility>

#include "device/vornk_data.h"
#include "tools/record_text.h"

namespace vk::tools {

PrintingServices::PrintingServices(Writer writer, std::string outputName, std::uint64_t roundLimit,
                                   StopRequest stop, std::shared_ptr<MeteredClient> meter,
                                   std::shared_ptr<HistoryFile> history)
    : writer_(std::move(writer)),
      outputName_(std::move(outputName)),
      roundLimit_(roundLimit),
      stop_(std::move(stop)),
      meter_(std::move(meter)),
      history_(std::move(history)) {}

int PrintingServices::SendSP(ZeqVDevice&, int dataId, const unsigned char* data,
                             unsigned int length, bool) {
  std::string text;
  if (dataId == device::kVornkDataId && length == sizeof(vornk_Data_t) && data != nullptr) {
    std::uint64_t round;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      round = storedRounds_ + 1;  // published before it is stored
    }
    text = recordText(round, data, length, meter_ ? meter_->takeCycle() : std::nullopt);
  } else {
    text = publicationNote(dataId, length);
  }
  return write(text) ? 1 : 0;
}

bool PrintingServices::SaveDeviceHistory(ZeqVDevice&, const unsigned char* data,
                                         unsigned int length) {
  if (history_ && data != nullptr && length == sizeof(vornk_Data_t)) {
    if (const int error = history_->append(data, length); error != 0) {
      noteWriteError(history_->path(), error);
      requestStop();
      return false;
    }
  }
  bool stop = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++storedRounds_;
    stop = roundLimit_ != 0 && storedRounds_ >= roundLimit_;
  }
  if (stop) requestStop();
  return true;
}

std::uint64_t PrintingServices::storedRounds() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return storedRounds_;
}

bool PrintingServices::limitReached() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return roundLimit_ != 0 && storedRounds_ >= roundLimit_;
}

std::string PrintingServices::writeError() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return writeError_;
}

bool PrintingServices::write(std::string_view text) {
  const int error = writer_(text);
  if (error == 0) return true;
  noteWriteError(outputName_, error);
  requestStop();
  return false;
}

void PrintingServices::noteWriteError(const std::string& destination, int error) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (writeError_.empty()) {
    writeError_ = "cannot write to " + destination + ": " + std::strerror(error);
  }
}

void PrintingServices::requestStop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopRequested_) return;
    stopRequested_ = true;
  }
  if (stop_) stop_();
}

}  // namespace vk::tools
