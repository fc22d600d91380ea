// vornk-host: loads the vornk module, runs devices against the simulated BACnet device or a
// BACnet/IP device and shows what they publish, until signalled or until every device has stored
// the requested number of rounds. "vornk-host decode" turns a history file back into rows.
//
// SIGINT, SIGTERM and SIGUSR1 are blocked before any thread exists, so every thread inherits the
// mask and main receives them with sigwait; the services raise SIGUSR1 when the run is complete.

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bacnet/ip_client.h"
#include "doubles/simulated_device.h"
#include "provider.h"
#include "tools/history_decode.h"
#include "tools/history_file.h"
#include "tools/metered_client.h"
#include "tools/module_loader.h"
#include "tools/options.h"
#include "tools/printing_services.h"
#include "tools/settings_file.h"
#include "tools/text_output.h"
#include "zeq_bacnet_device.h"

using namespace vornk_tools;

namespace {

std::string gProgram = "vornk-host";

int fail(const std::string& message) {
  std::cerr << gProgram << ": " << message << std::endl;
  return 1;
}

// Creates one device from the module's first provider; the providers are released before
// returning. Null with error set when there is none.
std::unique_ptr<VDeviceInterface> createDevice(const LoadedModule& module, std::string& error) {
  try {
    std::vector<std::shared_ptr<Provider>> providers = module.getProviders()();
    if (providers.empty() || !providers.front()) {
      error = "the module provides no device provider";
      return nullptr;
    }
    std::unique_ptr<VDeviceInterface> device(providers.front()->create());
    if (!device) error = "the module's provider created no device";
    return device;
  } catch (const std::exception& exception) {
    error = std::string("creating the device failed: ") + exception.what();
  } catch (...) {
    error = "creating the device failed: unknown error";
  }
  return nullptr;
}

// One running device with what is attached to it.
struct RunningDevice {
  std::shared_ptr<PrintingServices> services;
  std::shared_ptr<BacnetIpClient> network;  // null with the in-process simulated device
  std::unique_ptr<VDeviceInterface> device;
};

std::string firstWriteError(const std::vector<RunningDevice>& devices) {
  for (const RunningDevice& running : devices) {
    if (std::string error = running.services->writeError(); !error.empty()) return error;
  }
  return {};
}

// Waits for SIGINT or SIGTERM, or for SIGUSR1 once every device has stored its rounds or a
// write failed. A stray SIGUSR1 from elsewhere does not end the run.
void waitForStop(const sigset_t& signals, const std::vector<RunningDevice>& devices) {
  for (;;) {
    int received = 0;
    const int error = ::sigwait(&signals, &received);
    if (error != 0) {
      fail(std::string("waiting for signals failed: ") + std::strerror(error));
      return;
    }
    if (received != SIGUSR1) return;
    bool allDone = true;
    for (const RunningDevice& running : devices)
      allDone = allDone && running.services->limitReached();
    if (allDone || !firstWriteError(devices).empty()) return;
  }
}

// Ends every request in flight, then deletes the devices (joining their threads), so that the
// module can then be unloaded.
void stopAll(std::vector<RunningDevice>& devices) {
  for (RunningDevice& running : devices) {
    if (running.network) running.network->interrupt();
  }
  for (RunningDevice& running : devices) running.device.reset();
}

// Creates, wires and starts the device with the given data identifier; false with error set.
bool startDevice(const LoadedModule& module, const Options& options, const Json::Value& settings,
                 std::uint32_t dataId, std::shared_ptr<BacnetClient> client, RunningDevice& running,
                 std::string& error) {
  running.device = createDevice(module, error);
  if (!running.device) return false;
  auto* bacnet = dynamic_cast<ZeqBacNetDevice*>(running.device.get());
  if (bacnet == nullptr) {
    error = "the module's device is not a BACnet device";
    return false;
  }
  bacnet->AttachHostServices(running.services);
  bacnet->AttachBacnetClient(std::move(client));
  bacnet->endpointText = options.endpoint;

  try {
    if (bacnet->Init(std::weak_ptr<ZeqController>{}, dataId, settings) <= 0) {
      error = "the device's Init reported failure";
      return false;
    }
    // Starts the device's sampling thread.
    if (bacnet->InitSetting(settings) <= 0) {
      error = "the device's InitSetting reported failure";
      return false;
    }
  } catch (const std::exception& exception) {
    error = std::string("the device's initialisation failed: ") + exception.what();
    return false;
  } catch (...) {
    error = "the device's initialisation failed: unknown error";
    return false;
  }
  return true;
}

// Runs the devices until they are to stop; every device is deleted before returning.
int run(const LoadedModule& module, const Options& options, const Json::Value& settings,
        const TextOutput& output, const sigset_t& signals) {
  std::shared_ptr<HistoryFile> history;
  std::string error;
  if (!options.historyPath.empty()) {
    history = std::make_shared<HistoryFile>();
    if (!history->open(options.historyPath, error)) return fail(error);
  }
  const int fd = output.fd();

  std::vector<RunningDevice> devices(options.devices);
  for (std::uint32_t i = 0; i < options.devices; ++i) {
    RunningDevice& running = devices[i];
    // Without a network, each device reads a simulated device of its own (they all hold the same
    // values): one simulated device answers one request at a time.
    std::shared_ptr<BacnetClient> client = std::make_shared<SimulatedBacnetDevice>();
    if (options.bacnetIp) {
      try {
        running.network = std::make_shared<BacnetIpClient>(BacnetIpSettings{
            std::chrono::milliseconds(options.apduTimeoutMs), options.retries,
            static_cast<std::uint16_t>(options.localPort == 0 ? 0 : options.localPort + i)});
      } catch (const std::exception& exception) {
        stopAll(devices);
        return fail(exception.what());
      }
      client = running.network;
    }
    auto meter = std::make_shared<MeteredClient>(client);
    running.services = std::make_shared<PrintingServices>(
        [fd](std::string_view text) { return writeAll(fd, text); }, output.name(),
        options.rounds.value_or(0), [] { ::kill(::getpid(), SIGUSR1); }, meter, history);
    if (!startDevice(module, options, settings, options.dataId + i, meter, running, error)) {
      stopAll(devices);
      return fail(error);
    }
  }

  waitForStop(signals, devices);
  stopAll(devices);

  const std::string writeError = firstWriteError(devices);
  if (!writeError.empty()) return fail(writeError);
  return 0;
}

int decode(const std::vector<std::string>& args) {
  const ParsedDecodeOptions parsed = parseDecodeOptions(args);
  if (!parsed.options) {
    std::cerr << gProgram << " decode: " << parsed.error << " (see " << gProgram << " --help)"
              << std::endl;
    return 2;
  }
  if (parsed.options->help) {
    std::cout << usageText(gProgram) << std::flush;
    return std::cout ? 0 : 1;
  }
  std::ifstream in(parsed.options->path, std::ios::binary);
  if (!in) return fail("cannot open " + parsed.options->path + ": " + std::strerror(errno));
  std::string error;
  const bool complete = decodeHistory(
      in, parsed.options->json ? DecodeFormat::JsonLines : DecodeFormat::Csv, std::cout, error);
  std::cout.flush();
  if (!complete) return fail(parsed.options->path + ": " + error);
  if (!std::cout) return fail("cannot write to standard output");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 0 && argv[0] != nullptr && argv[0][0] != '\0') {
    const std::string_view path = argv[0];
    gProgram = std::string(path.substr(path.rfind('/') + 1));
  }

  if (argc > 1 && std::string_view(argv[1]) == "decode") {
    return decode(std::vector<std::string>(argv + 2, argv + argc));
  }
  const ParsedOptions parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.options) {
    std::cerr << gProgram << ": " << parsed.error << " (see " << gProgram << " --help)"
              << std::endl;
    return 2;
  }
  const Options& options = *parsed.options;
  if (options.help) {
    std::cout << usageText(gProgram) << std::flush;
    return std::cout ? 0 : 1;
  }

  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGUSR1);
  if (const int error = ::pthread_sigmask(SIG_BLOCK, &signals, nullptr); error != 0) {
    return fail(std::string("cannot block signals: ") + std::strerror(error));
  }

  Json::Value settings(Json::objectValue);
  if (!options.settingsPath.empty()) {
    LoadedSettings loaded = loadSettingsFile(options.settingsPath);
    if (!loaded.error.empty()) return fail(loaded.error);
    settings = std::move(loaded.settings);
  }

  std::string error;
  TextOutput output;
  if (!options.outputPath.empty() && !output.openFile(options.outputPath, error)) {
    return fail(error);
  }

  std::string modulePath = options.modulePath;
  if (modulePath.empty()) {
    const std::string folder = executableFolder(error);
    if (folder.empty()) return fail(error);
    modulePath = folder + (folder.back() == '/' ? "" : "/") + "vornk.so";
  }
  // Declared before everything the module creates, so it is unloaded after all of it is gone.
  LoadedModule module;
  if (!module.load(modulePath, error)) return fail(error);

  return run(module, options, settings, output, signals);
}
