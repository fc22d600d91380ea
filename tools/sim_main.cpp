// vornk-sim: a simulated BACnet/IP device serving the points vornk reads, until SIGINT or SIGTERM.
//
// The signals are blocked before the serving thread starts, so main receives them with sigwait.

#include <pthread.h>
#include <signal.h>

#include <cstring>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tools/device_simulator.h"
#include "tools/settings_file.h"
#include "tools/simulator_options.h"

using namespace vornk_tools;

int main(int argc, char** argv) {
  const std::string program = "vornk-sim";
  const ParsedSimulatorOptions parsed =
      parseSimulatorOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.options) {
    std::cerr << program << ": " << parsed.error << " (see " << program << " --help)" << std::endl;
    return 2;
  }
  SimulatorOptions options = *parsed.options;
  if (options.help) {
    std::cout << simulatorUsageText(program) << std::flush;
    return 0;
  }
  if (!options.valuesPath.empty()) {
    const LoadedSettings loaded = loadSettingsFile(options.valuesPath);
    std::string error = loaded.error;
    if (error.empty() && !parsePointValues(loaded.settings, options.settings.values, error)) {
      error = options.valuesPath + ": " + error;
    }
    if (!error.empty()) {
      std::cerr << program << ": " << error << std::endl;
      return 2;
    }
  }

  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  if (const int error = ::pthread_sigmask(SIG_BLOCK, &signals, nullptr); error != 0) {
    std::cerr << program << ": cannot block signals: " << std::strerror(error) << std::endl;
    return 1;
  }

  std::unique_ptr<DeviceSimulator> simulator;
  try {
    simulator = std::make_unique<DeviceSimulator>(options.settings);
  } catch (const std::exception& exception) {
    std::cerr << program << ": " << exception.what() << std::endl;
    return 1;
  }
  std::cout << "listening on " << options.settings.address << ':' << simulator->port() << " device "
            << options.settings.deviceInstance << std::endl;

  std::thread serving([&] { simulator->run(); });
  int received = 0;
  const int error = ::sigwait(&signals, &received);
  simulator->stop();
  serving.join();
  if (error != 0) {
    std::cerr << program << ": waiting for signals failed: " << std::strerror(error) << std::endl;
    return 1;
  }
  return 0;
}
