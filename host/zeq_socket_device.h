// The host's socket layer. BACnet devices do their reading elsewhere and leave these hooks idle.
#pragma once

#include <boost/asio/buffer.hpp>
#include <string>
#include <vector>

#include "zeq_vdevice.h"

class ZeqSocketDevice : public ZeqVDevice {
 public:
  ZeqSocketDevice();
  ~ZeqSocketDevice() override;

  virtual int process(int socket, unsigned char* data, int length);
  virtual int process_data(int socket, unsigned char* data, int length) = 0;
  virtual int OnConnected(int socket);
  virtual int RefreshStatus();
  virtual int StartSocket(const std::string& host, unsigned short port);
  virtual int CloseSocket(int socket);
  // The short forms send on socketId_ through the long forms.
  virtual int SendSocketData(const unsigned char* data, unsigned int length);
  virtual int SendSocketData(int socket, const unsigned char* data, unsigned int length);
  virtual int SendSocketData(const std::vector<boost::asio::const_buffer>& buffers);
  virtual int SendSocketData(int socket, const std::vector<boost::asio::const_buffer>& buffers);

  int socketId_ = -1;
  std::string endpointText;
  std::uint8_t endpointFlag = 0;
};
