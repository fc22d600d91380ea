// How vornk-host and vornk-sim fail: every failure that ends them is a SetupError, thrown where it
// is found and caught once in main, which writes its line to standard error and exits with its
// status.
#pragma once

#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vk::tools {

class SetupError : public std::runtime_error {
 public:
  explicit SetupError(const std::string& message, int exitStatus = 1)
      : std::runtime_error(message), exitStatus_(exitStatus) {}

  // A mistake on the command line of command (empty: the program's own): exit status 2, and the
  // line names the command and points to --help.
  static SetupError commandLine(std::string_view command, const std::string& message);

  int exitStatus() const { return exitStatus_; }
  // "PROGRAM: MESSAGE", or for a command-line mistake "PROGRAM[ COMMAND]: MESSAGE (see PROGRAM
  // --help)".
  std::string line(std::string_view program) const;

 private:
  int exitStatus_;
  std::optional<std::string> command_;  // set for command-line mistakes
};

// Returns what call returns; any other exception than a SetupError that it throws becomes a
// SetupError of context followed by the exception's text. For calls into code with exceptions of
// its own: the module, the sockets.
template <class Call>
auto orSetupError(std::string_view context, Call&& call) -> decltype(call()) {
  try {
    return call();
  } catch (const SetupError&) {
    throw;
  } catch (const std::exception& exception) {
    throw SetupError(std::string(context) + exception.what());
  } catch (...) {
    throw SetupError(std::string(context) + "unknown error");
  }
}

}  // namespace vk::tools
