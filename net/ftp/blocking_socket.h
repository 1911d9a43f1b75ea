#pragma once
// One IPv4 TCP socket whose every operation blocks the calling thread and
// whose every failure is thrown as CBlockingSocketException, naming the
// operation. Sending and receiving first wait for readiness, at most a given
// number of whole seconds.
//
// Handle 0 means "no socket" (not the library's invalid value). Destroying a
// socket object never closes its handle: owners Close or Discard first.
// An instance is used by one thread at a time.

#include <cstdint>
#include <memory>
#include <string>

#include "net/ftp/socket_platform.h"

namespace nsSocket {

// The socket type for Create: a stream (TCP) socket.
constexpr int kStreamSocket = 1;

// Thrown by value, caught by reference. The error code is the socket
// library's last error at the moment the object was built.
class CBlockingSocketException {
 public:
  explicit CBlockingSocketException(const wchar_t* label);

  // The text DescribeInto writes into a zero-filled buffer of 512 characters.
  virtual std::wstring Describe() const;
  // "<label> error 0x%08x", or "<label> error" when the code is 0, cut to
  // fit `capacity` characters including the terminating 0. Always true.
  virtual bool DescribeInto(wchar_t* buffer, unsigned capacity, unsigned* context = nullptr) const;

  std::int32_t ErrorCode() const { return errorCode; }
  const std::wstring& Label() const { return label; }

 private:
  std::int32_t errorCode;
  std::wstring label;
};

class IBlockingSocket {
 public:
  virtual ~IBlockingSocket() = default;

  // A fresh, closed socket of the same kind.
  virtual std::unique_ptr<IBlockingSocket> NewInstance() const = 0;
  virtual void Create(int type) = 0;
  // Fails after `timeoutSeconds`, or soon after `*stop` (null: none) rises.
  virtual void Connect(const sockaddr_in& address, int timeoutSeconds,
                       const std::atomic<bool>* stop) = 0;
  virtual void Bind(const sockaddr_in& address) = 0;
  virtual void Listen() = 0;
  // Closes without reporting anything; the handle becomes 0.
  virtual void Discard() noexcept = 0;
  // Stores the accepted connection in `target`. False, without throwing, when
  // the wait was interrupted.
  virtual bool Accept(IBlockingSocket& target, sockaddr_in& peer) = 0;
  // On failure the handle stays set; the owner then Discards.
  virtual void Close() = 0;
  // Sends everything; each wait for writability is bounded separately.
  virtual int SendAll(const char* data, int length, int timeoutSeconds) = 0;
  // Bytes received, 0 when the peer has closed.
  virtual int Receive(char* buffer, int size, int timeoutSeconds) = 0;
  virtual void GetSockName(sockaddr_in& address) = 0;
  virtual NativeHandle Handle() const = 0;
  // Data (or a close) is waiting; does not wait.
  virtual bool IsReadable() = 0;
  virtual sockaddr_in GetHostByName(const char* host, std::uint16_t port) = 0;
  // The canonical name; the text stays valid until this thread's next call.
  virtual const char* GetHostByAddr(const sockaddr_in& address) = 0;
  // Waits at most `milliseconds` for data (or a close); false when the time
  // ran out. Lets a caller wait in short slices and look at a flag between
  // them. Throws "Socket Error" when the wait itself fails.
  virtual bool WaitReadable(int milliseconds) = 0;
};

class CBlockingSocket : public IBlockingSocket {
 public:
  CBlockingSocket() = default;
  CBlockingSocket(const CBlockingSocket&) = delete;
  CBlockingSocket& operator=(const CBlockingSocket&) = delete;

  std::unique_ptr<IBlockingSocket> NewInstance() const override;
  void Create(int type) override;
  void Connect(const sockaddr_in& address, int timeoutSeconds,
               const std::atomic<bool>* stop) override;
  void Bind(const sockaddr_in& address) override;
  void Listen() override;
  void Discard() noexcept override;
  bool Accept(IBlockingSocket& target, sockaddr_in& peer) override;
  void Close() override;
  int SendAll(const char* data, int length, int timeoutSeconds) override;
  int Receive(char* buffer, int size, int timeoutSeconds) override;
  void GetSockName(sockaddr_in& address) override;
  NativeHandle Handle() const override { return handle; }
  bool IsReadable() override;
  sockaddr_in GetHostByName(const char* host, std::uint16_t port) override;
  const char* GetHostByAddr(const sockaddr_in& address) override;
  bool WaitReadable(int milliseconds) override;

  // One send after waiting for writability; may send fewer bytes than asked.
  int Send(const char* data, int length, int timeoutSeconds);

 private:
  NativeHandle handle = 0;
};

}  // namespace nsSocket
