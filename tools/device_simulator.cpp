#include "tools/device_simulator.h"

#include <arpa/inet.h>

#include <algorithm>
#include <optional>

#include "bacnet/enumerations.h"
#include "device/point_table.h"
#include "doubles/in_process_device.h"
#include "tools/record_text.h"
#include "tools/setup_error.h"

namespace vk::tools {

namespace {

using bacnet::ErrorClass, bacnet::ErrorCode, bacnet::RejectReason;

constexpr std::uint16_t kVendorId = 0xFFFF;  // no registered vendor

std::string objectText(const ObjectKey& object) {
  return std::string(bacnet::objectTypeName(object.first)) + ":" + std::to_string(object.second);
}

// The socket listening on address:port; the address is checked before the socket is opened.
bacnet::UdpSocket listeningSocket(const std::string& address, std::uint16_t port) {
  in_addr ipv4{};
  if (::inet_pton(AF_INET, address.c_str(), &ipv4) != 1) {
    throw SetupError("'" + address + "' is not an IPv4 address");
  }
  return orSetupError("", [&] { return bacnet::UdpSocket(ipv4, port); });
}

}  // namespace

DeviceSimulator::DeviceSimulator(SimulatorSettings settings)
    : settings_(std::move(settings)), socket_(listeningSocket(settings_.address, settings_.port)) {
  for (const device::Point& point : device::kPoints) {
    values_[{point.type, point.instance}] =
        doubles::InProcessDevice::defaultValue(point.type, point.instance);
  }
  auto checkKnown = [&](const ObjectKey& object) {
    if (values_.count(object) == 0) {
      throw SetupError(objectText(object) + " is not one of the device's points");
    }
  };
  for (const auto& [object, value] : settings_.values) {
    checkKnown(object);
    values_[object] = value;
  }
  for (const ObjectKey& object : settings_.drop) checkKnown(object);
  for (const ObjectKey& object : settings_.error) checkKnown(object);
  for (const auto& entry : settings_.delay) checkKnown(entry.first);
}

std::uint16_t DeviceSimulator::port() const { return socket_.localPort(); }

void DeviceSimulator::stop() { socket_.wake(); }

void DeviceSimulator::run() {
  std::uint8_t buffer[bacnet::kMaxDatagram + 1];
  for (;;) {
    int timeout = -1;
    if (!delayed_.empty()) {
      const auto wait =
          std::chrono::ceil<std::chrono::milliseconds>(delayed_.begin()->first - Clock::now());
      timeout = static_cast<int>(std::max<std::chrono::milliseconds::rep>(wait.count(), 0));
    }
    const bacnet::UdpSocket::Wait wait = socket_.waitReadable(timeout);
    if (wait == bacnet::UdpSocket::Wait::Woken || wait == bacnet::UdpSocket::Wait::Failed) return;

    while (!delayed_.empty() && delayed_.begin()->first <= Clock::now()) {
      const auto& [to, frame] = delayed_.begin()->second;
      send(to, frame.data(), frame.size());
      delayed_.erase(delayed_.begin());
    }
    if (wait != bacnet::UdpSocket::Wait::Readable) continue;

    sockaddr_in from{};
    const ssize_t size = socket_.receive(buffer, sizeof buffer, from);
    if (size < 0 || static_cast<std::size_t>(size) > bacnet::kMaxDatagram) continue;
    handle(buffer, static_cast<std::size_t>(size), from);
  }
}

void DeviceSimulator::handle(const std::uint8_t* data, std::size_t size, const sockaddr_in& from) {
  using Kind = bacnet::DeviceRequest::Kind;
  const bacnet::DeviceRequest request = bacnet::decodeDeviceRequest(data, size);
  if (request.kind == Kind::Ignored) return;
  // A device answers what its own network carries to it: a request naming a destination network
  // is for another network, or a global broadcast. Who-Is is answered when broadcast, confirmed
  // requests only when sent to this device alone.
  const bool everyNetwork = request.destinationNetwork == bacnet::kGlobalBroadcast;
  if (request.kind == Kind::WhoIs ? request.destinationNetwork && !everyNetwork
                                  : request.broadcast || request.destinationNetwork) {
    return;
  }

  bacnet::Frame answer;
  std::optional<ObjectKey> object;  // of a ReadProperty, for its delay
  switch (request.kind) {
    case Kind::Ignored:
      return;
    case Kind::WhoIs:
      if (request.range && (settings_.deviceInstance < request.range->first ||
                            settings_.deviceInstance > request.range->second)) {
        return;
      }
      answer = bacnet::encodeIAm(settings_.deviceInstance, kVendorId);
      break;
    case Kind::OtherConfirmed:
      answer = bacnet::encodeReject(request.invokeId, RejectReason::UnrecognizedService);
      break;
    case Kind::Segmented:
      answer = bacnet::encodeAbort(request.invokeId, bacnet::AbortReason::SegmentationNotSupported);
      break;
    case Kind::MalformedReadProperty:
      answer = bacnet::encodeReject(request.invokeId, request.rejectReason);
      break;
    case Kind::ReadProperty: {
      const bacnet::ReadPropertyRequest& read = request.readProperty;
      object = ObjectKey{read.type, read.instance};
      const auto found = values_.find(*object);
      const std::uint8_t service = bacnet::kServiceReadProperty;
      if (settings_.drop.count(*object) != 0) return;
      if (settings_.error.count(*object) != 0) {
        answer = bacnet::encodeError(read.invokeId, service, ErrorClass::Device, ErrorCode::Other);
      } else if (found == values_.end()) {
        answer = bacnet::encodeError(read.invokeId, service, ErrorClass::Object,
                                     ErrorCode::UnknownObject);
      } else if (read.property != PROP_PRESENT_VALUE) {
        answer = bacnet::encodeError(read.invokeId, service, ErrorClass::Property,
                                     ErrorCode::UnknownProperty);
      } else if (read.arrayIndex) {
        answer = bacnet::encodeError(read.invokeId, service, ErrorClass::Property,
                                     ErrorCode::PropertyIsNotAnArray);
      } else {
        const bool binary = bacnet::isBinary(read.type);
        answer = bacnet::encodeReadPropertyAck(
            read,
            {binary ? bacnet::PresentValue::Type::Enumerated : bacnet::PresentValue::Type::Real,
             found->second});
      }
      break;
    }
  }
  // Through a router: the router delivers the answer to the requester's network and address.
  if (request.source) answer = bacnet::addressTo(std::move(answer), *request.source);
  if (object) {
    if (const auto delay = settings_.delay.find(*object); delay != settings_.delay.end()) {
      delayed_.emplace(Clock::now() + delay->second, std::make_pair(from, std::move(answer)));
      return;
    }
  }
  send(from, answer.data(), answer.size());
}

void DeviceSimulator::send(const sockaddr_in& to, const std::uint8_t* data, std::size_t size) {
  // A datagram that cannot be sent at once is lost, as on the network; the requester retries.
  socket_.sendTo(to, data, size, 0);
}

}  // namespace vk::tools
