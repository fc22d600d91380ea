// HostServices of vornk-host: shows every publication as readable text, appends every stored
// record to the history file and counts the rounds the device stores.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "host_services.h"
#include "tools/history_file.h"
#include "tools/metered_client.h"

namespace vk::tools {

class PrintingServices : public HostServices {
 public:
  // Delivers one piece of text with a single write; returns 0 or the errno of the failure.
  using Writer = std::function<int(std::string_view text)>;
  // Asks the host to stop. Runs at most once, on the device's thread.
  using StopRequest = std::function<void()>;

  // roundLimit 0: never ask to stop for the number of rounds. A failing write also asks to stop
  // (the records would be lost otherwise); outputName names the destination in its message.
  // With a meter, each record shows its cycle's duration and requests; with a history file,
  // stored records are appended to it.
  PrintingServices(Writer writer, std::string outputName, std::uint64_t roundLimit,
                   StopRequest stop, std::shared_ptr<MeteredClient> meter = nullptr,
                   std::shared_ptr<HistoryFile> history = nullptr);

  // Vornk records (device::kVornkDataId, the record's size) become readable text, numbered by the
  // round they belong to; anything else a one-line note. Reports success unless the text could not
  // be written.
  int SendSP(ZeqVDevice& device, int dataId, const unsigned char* data, unsigned int length,
             bool delay) override;
  // Appends a vornk record to the history file and counts a stored round; asks to stop when the
  // limit is reached. False when the record could not be appended.
  bool SaveDeviceHistory(ZeqVDevice& device, const unsigned char* data,
                         unsigned int length) override;

  std::uint64_t storedRounds() const;
  // True once the round limit has been reached.
  bool limitReached() const;
  // Empty while every write succeeded; otherwise what failed.
  std::string writeError() const;

 private:
  bool write(std::string_view text);
  void noteWriteError(const std::string& destination, int error);
  void requestStop();

  const Writer writer_;
  const std::string outputName_;
  const std::uint64_t roundLimit_;
  const StopRequest stop_;
  const std::shared_ptr<MeteredClient> meter_;
  const std::shared_ptr<HistoryFile> history_;

  mutable std::mutex mutex_;
  std::uint64_t storedRounds_ = 0;
  std::string writeError_;
  bool stopRequested_ = false;
};

}  // namespace vk::tools
