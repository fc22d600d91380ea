#include "unidata/refusal.h"

namespace vk::unidata::refusal {

std::string lockTaken(std::string_view lock, std::chrono::milliseconds waited) {
  const long long ms = waited.count();
  const std::string amount =
      ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
  return std::string(lock) + " stayed taken for " + amount;
}

std::string line(std::string_view device, std::string_view operation, std::string_view why) {
  std::string text(device);
  text.append(": ").append(operation).append(" refused: ").append(why);
  return text;
}

}  // namespace vk::unidata::refusal
