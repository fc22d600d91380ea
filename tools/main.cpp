// vornk-host: loads the vornk module, runs devices against the in-process BACnet device or a
// BACnet/IP device and shows what they publish, until signalled or until every device has stored
// the requested number of rounds. "vornk-host decode" turns a history file back into rows;
// "vornk-host probe" reads every point of a BACnet/IP device once and "vornk-host discover" lists
// the devices that answer a Who-Is, for commissioning.
//
// SIGINT, SIGTERM and SIGUSR1 are blocked before any thread exists, so every thread inherits the
// mask and main receives them with sigwait; the services raise SIGUSR1 when the run is complete.
// Every failure is a SetupError: main writes its line and exits with its status.

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "bacnet/discovery.h"
#include "bacnet/ip_client.h"
#include "doubles/in_process_device.h"
#include "provider.h"
#include "tools/command_line.h"
#include "tools/device_address.h"
#include "tools/discover.h"
#include "tools/history_decode.h"
#include "tools/history_file.h"
#include "tools/metered_client.h"
#include "tools/module_loader.h"
#include "tools/printing_services.h"
#include "tools/probe.h"
#include "tools/read_failure_text.h"
#include "tools/settings_file.h"
#include "tools/setup_error.h"
#include "tools/text_output.h"
#include "zeq_bacnet_device.h"

namespace vk::tools {
namespace {

// Writes a command's report to standard output.
void writeReport(const std::string& text) {
  std::cout << text << std::flush;
  if (!std::cout) throw SetupError("cannot write to standard output");
}

// Creates one device from the module's first provider; the providers are released before
// returning.
std::unique_ptr<VDeviceInterface> createDevice(const LoadedModule& module) {
  return orSetupError("creating the device failed: ", [&] {
    std::vector<std::shared_ptr<Provider>> providers = module.getProviders()();
    if (providers.empty() || !providers.front()) {
      throw SetupError("the module provides no device provider");
    }
    std::unique_ptr<VDeviceInterface> device(providers.front()->create());
    if (!device) throw SetupError("the module's provider created no device");
    return device;
  });
}

// One running device with what is attached to it.
struct RunningDevice {
  std::shared_ptr<PrintingServices> services;
  std::shared_ptr<bacnet::BacnetIpClient> network;  // null with the in-process device
  std::unique_ptr<VDeviceInterface> device;
};

// The devices of a run. stop() ends every request in flight, then deletes the devices (joining
// their threads), so that the module can then be unloaded; leaving the scope does the same, also
// when starting a device failed.
struct RunningDevices {
  std::vector<RunningDevice> all;

  explicit RunningDevices(std::size_t count) : all(count) {}
  RunningDevices(const RunningDevices&) = delete;
  RunningDevices& operator=(const RunningDevices&) = delete;
  ~RunningDevices() { stop(); }

  void stop() {
    for (RunningDevice& running : all) {
      if (running.network) running.network->interrupt();
    }
    for (RunningDevice& running : all) running.device.reset();
  }

  std::string firstWriteError() const {
    for (const RunningDevice& running : all) {
      if (std::string error = running.services->writeError(); !error.empty()) return error;
    }
    return {};
  }
};

// Waits for SIGINT or SIGTERM, or for SIGUSR1 once every device has stored its rounds or a
// write failed. A stray SIGUSR1 from elsewhere does not end the run. A failed wait is reported
// and ends the run as a signal would.
void waitForStop(const std::string& program, const sigset_t& signals,
                 const RunningDevices& devices) {
  for (;;) {
    int received = 0;
    const int error = ::sigwait(&signals, &received);
    if (error != 0) {
      std::cerr << program << ": waiting for signals failed: " << std::strerror(error) << std::endl;
      return;
    }
    if (received != SIGUSR1) return;
    bool allDone = true;
    for (const RunningDevice& running : devices.all) {
      allDone = allDone && running.services->limitReached();
    }
    if (allDone || !devices.firstWriteError().empty()) return;
  }
}

// Creates, wires and starts the device with the given data identifier.
void startDevice(const LoadedModule& module, const Options& options, const Json::Value& settings,
                 std::uint32_t dataId, std::shared_ptr<BacnetClient> client,
                 RunningDevice& running) {
  running.device = createDevice(module);
  auto* bacnet = dynamic_cast<ZeqBacNetDevice*>(running.device.get());
  if (bacnet == nullptr) throw SetupError("the module's device is not a BACnet device");
  bacnet->AttachHostServices(running.services);
  bacnet->AttachBacnetClient(std::move(client));
  bacnet->endpointText = options.endpoint;

  const std::string_view failed = "the device's initialisation failed: ";
  if (orSetupError(failed, [&] {
        return bacnet->Init(std::weak_ptr<ZeqController>{}, dataId, settings);
      }) <= 0) {
    throw SetupError("the device's Init reported failure");
  }
  // Starts the device's sampling thread.
  if (orSetupError(failed, [&] { return bacnet->InitSetting(settings); }) <= 0) {
    throw SetupError("the device's InitSetting reported failure");
  }
}

// Runs the devices until they are to stop; every device is deleted before returning.
int run(const std::string& program, const LoadedModule& module, const Options& options,
        const Json::Value& settings, const TextOutput& output, const sigset_t& signals) {
  const auto history =
      options.historyPath.empty() ? nullptr : std::make_shared<HistoryFile>(options.historyPath);
  const int fd = output.fd();

  RunningDevices devices(options.devices);
  for (std::uint32_t i = 0; i < options.devices; ++i) {
    RunningDevice& running = devices.all[i];
    // Without a network, each device reads an in-process device of its own (they all hold the same
    // values): one in-process device answers one request at a time.
    std::shared_ptr<BacnetClient> client = std::make_shared<doubles::InProcessDevice>();
    MeteredClient::FailedRead failedRead;
    if (options.bacnetIp) {
      running.network = orSetupError("", [&] {
        return std::make_shared<bacnet::BacnetIpClient>(bacnet::BacnetIpSettings{
            std::chrono::milliseconds(options.apduTimeoutMs), options.retries,
            static_cast<std::uint16_t>(options.localPort == 0 ? 0 : options.localPort + i)});
      });
      client = running.network;
      // The module only says "receive failed"; the readable output names the point and why. A
      // read ended by stopping the run is no failure of the device.
      failedRead = [fd, network = running.network](BACnetObjectType type, std::uint32_t instance) {
        const std::optional<bacnet::ReadFailure> failure = network->lastFailure();
        if (failure && failure->kind != bacnet::ReadFailure::Kind::Interrupted) {
          writeAll(fd, cycleFailureLine(type, instance, *failure, network->settings()));
        }
      };
    }
    auto meter = std::make_shared<MeteredClient>(client, std::move(failedRead));
    running.services = std::make_shared<PrintingServices>(
        [fd](std::string_view text) { return writeAll(fd, text); }, output.name(), options.rounds,
        [] { ::kill(::getpid(), SIGUSR1); }, meter, history);
    startDevice(module, options, settings, options.dataId + i, meter, running);
  }

  waitForStop(program, signals, devices);
  devices.stop();

  if (std::string error = devices.firstWriteError(); !error.empty()) throw SetupError(error);
  return 0;
}

// Blocks SIGINT, SIGTERM and SIGUSR1 (a thread's "done") in the calling thread and in the
// threads it starts afterwards, so that main receives them with sigwait; returns them.
sigset_t blockStopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGUSR1);
  if (const int error = ::pthread_sigmask(SIG_BLOCK, &signals, nullptr); error != 0) {
    throw SetupError(std::string("cannot block signals: ") + std::strerror(error));
  }
  return signals;
}

// vornk-host [OPTION]...
int runDevices(const std::string& program, const Options& options) {
  const sigset_t signals = blockStopSignals();

  // A device's host that does not resolve would fail every cycle's first request, for ever.
  if (options.bacnetIp) resolveEndpoint(options.endpoint);
  const Json::Value settings = options.settingsPath.empty()
                                   ? Json::Value(Json::objectValue)
                                   : loadSettingsFile(options.settingsPath);
  const TextOutput output(options.outputPath);
  std::string modulePath = options.modulePath;
  if (modulePath.empty()) {
    const std::string folder = executableFolder();
    modulePath = folder + (folder.back() == '/' ? "" : "/") + "vornk.so";
  }
  // Declared before everything the module creates, so it is unloaded after all of it is gone.
  const LoadedModule module(modulePath);
  return run(program, module, options, settings, output, signals);
}

// vornk-host decode [--format csv|json] FILE; exit status 1 also when a record's stamp is no
// plausible date.
int decode(const std::string& program, const DecodeOptions& options) {
  std::ifstream in(options.path, std::ios::binary);
  if (!in) {
    const int error = errno;
    throw SetupError("cannot open " + options.path + ": " + std::strerror(error));
  }
  std::string error;
  bool implausible = false;
  // Standard error is tied to standard output: each note follows the rows before it.
  const bool complete =
      decodeHistory(in, options.format, std::cout, error, [&](const std::string& note) {
        implausible = true;
        std::cerr << program << ": " << options.path << ": " << note << '\n';
      });
  std::cout.flush();
  if (!complete) throw SetupError(options.path + ": " + error);
  if (!std::cout) throw SetupError("cannot write to standard output");
  return implausible ? 1 : 0;
}

// Probe's progress on standard error while that is a terminal: one line, rewritten in place and
// blanked before the report. Elsewhere nothing.
class ProbeProgressLine {
 public:
  ProbeProgressLine() : shown_(::isatty(STDERR_FILENO) == 1) {}

  void show(std::size_t done, std::size_t failed) {
    if (!shown_) return;
    text_ = probeProgressText(done, failed);  // never shorter than the line before
    writeAll(STDERR_FILENO, "\r" + text_);
  }
  void clear() {
    if (shown_) writeAll(STDERR_FILENO, "\r" + std::string(text_.size(), ' ') + "\r");
  }

 private:
  const bool shown_;
  std::string text_;
};

// vornk-host probe --device [bacnet-ip://]HOST[:PORT] [--apdu-timeout MS] [--retries N]
// [--format text|json]
//
// As in a run, SIGINT and SIGTERM are blocked before the probing thread starts and main receives
// them with sigwait; one interrupts the read in flight, and the report of the points read so far
// is written before exiting 128 + the signal's number. The probing thread raises SIGUSR1 when done.
int probe(const ProbeOptions& options) {
  resolveEndpoint(options.endpoint);  // or every point fails alike
  bacnet::BacnetIpClient client = orSetupError("", [&] {
    return bacnet::BacnetIpClient(bacnet::BacnetIpSettings{
        std::chrono::milliseconds(options.apduTimeoutMs), options.retries, 0});
  });
  const sigset_t signals = blockStopSignals();

  ProbeProgressLine progress;
  ProbeReport report;
  std::atomic<bool> done{false};
  std::exception_ptr failure;  // what probing threw, for main to throw on
  std::thread probing([&] {
    try {
      report = probeDevice(client, options.endpoint, [&](std::size_t points, std::size_t failed) {
        progress.show(points, failed);
      });
    } catch (...) {
      failure = std::current_exception();
    }
    done = true;
    ::kill(::getpid(), SIGUSR1);
  });
  int stopSignal = 0;
  for (;;) {
    int received = 0;
    if (const int error = ::sigwait(&signals, &received); error != 0) {
      client.interrupt();
      probing.join();
      throw SetupError(std::string("waiting for signals failed: ") + std::strerror(error));
    }
    if (received == SIGUSR1) {
      if (done) break;  // else a stray one from elsewhere
    } else {
      stopSignal = received;
      client.interrupt();
    }
  }
  probing.join();
  progress.clear();
  if (failure) std::rethrow_exception(failure);

  writeReport(options.format == ProbeOptions::Format::Json ? probeJson(report) : probeText(report));
  return report.end == ProbeReport::End::Interrupted && stopSignal != 0 ? 128 + stopSignal
                                                                        : probeStatus(report);
}

// vornk-host discover [--target [bacnet-ip://]HOST[:PORT]] [--timeout MS]
int discover(const DiscoverOptions& options) {
  std::optional<sockaddr_in> target;
  if (!options.target.empty()) target = resolveEndpoint(options.target);
  const std::chrono::milliseconds timeout(options.timeoutMs);
  const std::vector<bacnet::DiscoveredDevice> devices =
      orSetupError("", [&] { return bacnet::discoverDevices(target, timeout); });
  writeReport(discoveryText(devices, timeout));
  return devices.empty() ? 1 : 0;
}

}  // namespace
}  // namespace vk::tools

int main(int argc, char** argv) {
  using namespace vk::tools;
  std::string program = "vornk-host";
  if (argc > 0 && argv[0] != nullptr && argv[0][0] != '\0') {
    const std::string_view path = argv[0];
    program = std::string(path.substr(path.rfind('/') + 1));
  }
  const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);

  try {
    HostCommandLine commandLine;
    if (!parseCommandLine(program, args, commandLine, std::cout)) return std::cout.flush() ? 0 : 1;
    switch (commandLine.command) {
      case HostCommandLine::Command::Run:
        return runDevices(program, commandLine.run);
      case HostCommandLine::Command::Decode:
        return decode(program, commandLine.decode);
      case HostCommandLine::Command::Probe:
        return probe(commandLine.probe);
      case HostCommandLine::Command::Discover:
        return discover(commandLine.discover);
    }
    return 1;
  } catch (const SetupError& error) {
    std::cerr << error.line(program) << std::endl;
    return error.exitStatus();
  }
}
