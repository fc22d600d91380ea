// HostServices of vornk-host: shows every publication as readable text and counts the rounds
// the device stores.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "host_services.h"

namespace vornk_tools {

class PrintingServices : public HostServices {
 public:
  // Delivers one piece of text with a single write; returns 0 or the errno of the failure.
  using Writer = std::function<int(std::string_view text)>;
  // Asks the host to stop. Runs at most once, on the device's thread.
  using StopRequest = std::function<void()>;

  // roundLimit 0: never ask to stop for the number of rounds. A failing write also asks to stop
  // (the records would be lost otherwise); outputName names the destination in its message.
  PrintingServices(Writer writer, std::string outputName, std::uint64_t roundLimit,
                   StopRequest stop);

  // Vornk records (5156, 859 bytes) become readable text, numbered by the round they belong to;
  // anything else a one-line note. Reports success unless the text could not be written.
  int SendSP(ZeqVDevice& device, int dataId, const unsigned char* data, unsigned int length,
             bool delay) override;
  // Counts a stored round; asks to stop when the limit is reached.
  bool SaveDeviceHistory(ZeqVDevice& device, const unsigned char* data,
                         unsigned int length) override;

  std::uint64_t storedRounds() const;
  // True once the round limit has been reached.
  bool limitReached() const;
  // Empty while every write succeeded; otherwise what failed.
  std::string writeError() const;

 private:
  bool write(std::string_view text);
  void requestStop();

  const Writer writer_;
  const std::string outputName_;
  const std::uint64_t roundLimit_;
  const StopRequest stop_;

  mutable std::mutex mutex_;
  std::uint64_t storedRounds_ = 0;
  std::string writeError_;
  bool stopRequested_ = false;
};

}  // namespace vornk_tools
