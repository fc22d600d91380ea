#include "zeq_socket_device.h"

ZeqSocketDevice::ZeqSocketDevice() = default;

ZeqSocketDevice::~ZeqSocketDevice() = default;

int ZeqSocketDevice::process(int socket, unsigned char* data, int length) {
  return process_data(socket, data, length);
}

int ZeqSocketDevice::OnConnected(int socket) {
  socketId_ = socket;
  return 0;
}

int ZeqSocketDevice::RefreshStatus() { return 0; }

int ZeqSocketDevice::StartSocket(const std::string&, unsigned short) { return -1; }

int ZeqSocketDevice::CloseSocket(int) { return 0; }

int ZeqSocketDevice::SendSocketData(const unsigned char* data, unsigned int length) {
  return SendSocketData(socketId_, data, length);
}

int ZeqSocketDevice::SendSocketData(int, const unsigned char*, unsigned int) { return 0; }

int ZeqSocketDevice::SendSocketData(const std::vector<boost::asio::const_buffer>& buffers) {
  return SendSocketData(socketId_, buffers);
}

int ZeqSocketDevice::SendSocketData(int, const std::vector<boost::asio::const_buffer>&) {
  return 0;
}
