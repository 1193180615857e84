#pragma once
// A camera connection's byte stream, over TCP or UDT. One thread uses a
// link at a time; every wait is bounded so the caller can watch its stop
// flag.

#include <udt/udt.h>

#include <string>
#include <string_view>

namespace lumivex::sim {

class Link {
 public:
  static constexpr int kSendBoundMs = 10000;  // a peer that reads nothing this long is gone
  static constexpr int kNothingYet = -2;      // Read: no bytes at the moment

  virtual ~Link() = default;
  // All of bytes, or false (error, peer gone, or no progress within kSendBoundMs).
  virtual bool Send(std::string_view bytes) = 0;
  // 1: bytes can be read (or the peer hung up); 0: nothing within ms; -1: error.
  virtual int Wait(int ms) = 0;
  // > 0: bytes read; 0: the peer hung up; -1: error; kNothingYet. Never blocks.
  virtual int Read(char* buffer, int size) = 0;
  virtual std::string Describe() const = 0;  // for the log: "tcp 127.0.0.1:40000"
};

class TcpLink : public Link {
 public:
  // owns: the link closes fd when it ends.
  explicit TcpLink(int fd, bool owns = true);
  ~TcpLink() override;
  TcpLink(const TcpLink&) = delete;
  TcpLink& operator=(const TcpLink&) = delete;

  bool Send(std::string_view bytes) override;
  int Wait(int ms) override;
  int Read(char* buffer, int size) override;
  std::string Describe() const override;

 private:
  int fd_;
  bool owns_;
};

class UdtLink : public Link {
 public:
  explicit UdtLink(UDTSOCKET socket);  // takes the socket
  ~UdtLink() override;
  UdtLink(const UdtLink&) = delete;
  UdtLink& operator=(const UdtLink&) = delete;

  bool Send(std::string_view bytes) override;
  int Wait(int ms) override;
  int Read(char* buffer, int size) override;
  std::string Describe() const override;

 private:
  UDTSOCKET socket_;
  int epoll_ = -1;
};

// "a.b.c.d:port" of an IPv4 socket address.
std::string AddressText(const sockaddr_in& address);

}  // namespace lumivex::sim
