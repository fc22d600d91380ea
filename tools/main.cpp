// vornk-host: loads the vornk module, runs one device against the simulated BACnet device and
// shows what it publishes, until signalled or until the requested number of rounds is stored.
//
// SIGINT, SIGTERM and SIGUSR1 are blocked before any thread exists, so every thread inherits the
// mask and main receives them with sigwait; the services raise SIGUSR1 when the run is complete.

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "module_loader.h"
#include "options.h"
#include "printing_services.h"
#include "provider.h"
#include "settings_file.h"
#include "simulated_device.h"
#include "text_output.h"
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

// Waits for SIGINT or SIGTERM, or for SIGUSR1 once the services report the run complete.
// A stray SIGUSR1 from elsewhere does not end the run.
void waitForStop(const sigset_t& signals, const PrintingServices& services) {
  for (;;) {
    int received = 0;
    const int error = ::sigwait(&signals, &received);
    if (error != 0) {
      fail(std::string("waiting for signals failed: ") + std::strerror(error));
      return;
    }
    if (received != SIGUSR1) return;
    if (services.limitReached() || !services.writeError().empty()) return;
  }
}

// Runs the device until it is to stop; the device is deleted (its thread joined) before
// returning, so that the module can then be unloaded.
int run(const LoadedModule& module, const Options& options, const Json::Value& settings,
        const TextOutput& output, const sigset_t& signals) {
  const int fd = output.fd();
  auto services = std::make_shared<PrintingServices>(
      [fd](std::string_view text) { return writeAll(fd, text); }, output.name(),
      options.rounds.value_or(0), [] { ::kill(::getpid(), SIGUSR1); });
  auto simulated = std::make_shared<SimulatedBacnetDevice>();

  std::string error;
  std::unique_ptr<VDeviceInterface> device = createDevice(module, error);
  if (!device) return fail(error);
  auto* bacnet = dynamic_cast<ZeqBacNetDevice*>(device.get());
  if (bacnet == nullptr) return fail("the module's device is not a BACnet device");

  bacnet->AttachHostServices(services);
  bacnet->AttachBacnetClient(simulated);
  bacnet->endpointText = options.endpoint;

  try {
    if (bacnet->Init(std::weak_ptr<ZeqController>{}, options.dataId, settings) <= 0) {
      return fail("the device's Init reported failure");
    }
    // Starts the device's sampling thread.
    if (bacnet->InitSetting(settings) <= 0) {
      device.reset();
      return fail("the device's InitSetting reported failure");
    }
  } catch (const std::exception& exception) {
    device.reset();
    return fail(std::string("the device's initialisation failed: ") + exception.what());
  } catch (...) {
    device.reset();
    return fail("the device's initialisation failed: unknown error");
  }

  waitForStop(signals, *services);
  device.reset();

  const std::string writeError = services->writeError();
  if (!writeError.empty()) return fail(writeError);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 0 && argv[0] != nullptr && argv[0][0] != '\0') {
    const std::string_view path = argv[0];
    gProgram = std::string(path.substr(path.rfind('/') + 1));
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
