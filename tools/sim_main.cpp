// vornk-sim: a simulated BACnet/IP device serving the points vornk reads, until SIGINT or SIGTERM.
//
// The signals are blocked before the serving thread starts, so main receives them with sigwait.
// Every failure is a SetupError: main writes its line and exits with its status.

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "tools/command_line.h"
#include "tools/device_simulator.h"
#include "tools/point_values.h"
#include "tools/setup_error.h"

namespace vk::tools {
namespace {

int serve(const std::string& program, const std::vector<std::string>& args) {
  SimulatorOptions options;
  if (!parseCommandLine(program, args, options, std::cout)) return std::cout.flush() ? 0 : 1;
  SimulatorSettings& settings = options.settings;
  if (!options.valuesPath.empty()) settings.values = loadPointValues(options.valuesPath);

  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  if (const int error = ::pthread_sigmask(SIG_BLOCK, &signals, nullptr); error != 0) {
    throw SetupError(std::string("cannot block signals: ") + std::strerror(error));
  }

  DeviceSimulator simulator(settings);
  std::cout << "listening on " << settings.address << ':' << simulator.port() << " device "
            << settings.deviceInstance << std::endl;

  std::thread serving([&] { simulator.run(); });
  int received = 0;
  const int error = ::sigwait(&signals, &received);
  simulator.stop();
  serving.join();
  if (error != 0)
    throw SetupError(std::string("waiting for signals failed: ") + std::strerror(error));
  return 0;
}

}  // namespace
}  // namespace vk::tools

int main(int argc, char** argv) {
  using namespace vk::tools;
  const std::string program = "vornk-sim";
  try {
    return serve(program, std::vector<std::string>(argv + std::min(argc, 1), argv + argc));
  } catch (const SetupError& error) {
    std::cerr << error.line(program) << std::endl;
    return error.exitStatus();
  }
}
