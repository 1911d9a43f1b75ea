#include "net/ftp/blocking_socket.h"

#include <algorithm>
#include <cwchar>
#include <limits>
#include <vector>

namespace nsSocket {

namespace {

constexpr int kListenBacklog = 5;
constexpr unsigned kDescribeCapacity = 512;

int Milliseconds(int seconds) {
  constexpr int kLongest = std::numeric_limits<int>::max() / 1000;
  if (seconds <= 0) return 0;
  return seconds >= kLongest ? kLongest * 1000 : seconds * 1000;
}

}  // namespace

CBlockingSocketException::CBlockingSocketException(const wchar_t* label)
    : errorCode(static_cast<std::int32_t>(platform::LastError())), label(label) {}

std::wstring CBlockingSocketException::Describe() const {
  std::vector<wchar_t> buffer(kDescribeCapacity, L'\0');
  DescribeInto(buffer.data(), kDescribeCapacity);
  return std::wstring(buffer.data());
}

bool CBlockingSocketException::DescribeInto(wchar_t* buffer, unsigned capacity,
                                            unsigned* /*context*/) const {
  std::wstring text = label + L" error";
  if (errorCode != 0) {
    wchar_t code[16];
    std::swprintf(code, 16, L" 0x%08x", static_cast<unsigned>(errorCode));
    text += code;
  }
  if (capacity == 0) return true;
  const std::size_t kept = std::min<std::size_t>(text.size(), capacity - 1);
  std::copy_n(text.data(), kept, buffer);
  buffer[kept] = L'\0';
  return true;
}

std::unique_ptr<IBlockingSocket> CBlockingSocket::NewInstance() const {
  return std::make_unique<CBlockingSocket>();
}

void CBlockingSocket::Create(int type) {
  const NativeHandle created = platform::OpenSocket(type);
  if (created == platform::kInvalidHandle) throw CBlockingSocketException(L"Create");
  handle = created;
}

void CBlockingSocket::Connect(const sockaddr_in& address, int timeoutSeconds,
                              const std::atomic<bool>* stop) {
  if (platform::ConnectTo(handle, address, timeoutSeconds * 1000, stop) != 0)
    throw CBlockingSocketException(L"Connect");
}

void CBlockingSocket::Bind(const sockaddr_in& address) {
  if (platform::BindTo(handle, address) != 0) throw CBlockingSocketException(L"Bind");
}

void CBlockingSocket::Listen() {
  if (platform::ListenOn(handle, kListenBacklog) != 0) throw CBlockingSocketException(L"Listen");
}

void CBlockingSocket::Discard() noexcept {
  if (handle != 0) platform::CloseSocket(handle);
  handle = 0;
}

bool CBlockingSocket::Accept(IBlockingSocket& target, sockaddr_in& peer) {
  // The accepted handle can only be handed to a socket of this kind.
  auto* into = dynamic_cast<CBlockingSocket*>(&target);
  if (into == nullptr) throw CBlockingSocketException(L"Accept");
  const NativeHandle accepted = platform::AcceptOn(handle, peer);
  if (accepted == platform::kInvalidHandle) {
    if (platform::IsInterrupted(platform::LastError())) return false;
    throw CBlockingSocketException(L"Accept");
  }
  into->handle = accepted;
  return into->Handle() != platform::kInvalidHandle;
}

void CBlockingSocket::Close() {
  if (handle == 0) return;
  if (platform::CloseSocket(handle) != 0) throw CBlockingSocketException(L"Close");
  handle = 0;
}

int CBlockingSocket::Send(const char* data, int length, int timeoutSeconds) {
  // A failed wait is not fatal by itself: the send that follows reports.
  if (platform::WaitReady(handle, true, Milliseconds(timeoutSeconds)) == 0)
    throw CBlockingSocketException(L"Send timeout");
  const int sent = platform::SendSome(handle, data, length);
  if (sent < 0) throw CBlockingSocketException(L"Send");
  return sent;
}

int CBlockingSocket::SendAll(const char* data, int length, int timeoutSeconds) {
  int sent = 0;
  do {
    sent += Send(data + sent, length - sent, timeoutSeconds);
  } while (sent < length);
  return sent;
}

int CBlockingSocket::Receive(char* buffer, int size, int timeoutSeconds) {
  if (platform::WaitReady(handle, false, Milliseconds(timeoutSeconds)) == 0)
    throw CBlockingSocketException(L"Receive timeout");
  const int received = platform::ReceiveSome(handle, buffer, size);
  if (received < 0) throw CBlockingSocketException(L"Receive");
  return received;
}

void CBlockingSocket::GetSockName(sockaddr_in& address) {
  if (platform::LocalName(handle, address) != 0) throw CBlockingSocketException(L"GetSockName");
}

bool CBlockingSocket::IsReadable() { return WaitReadable(0); }

bool CBlockingSocket::WaitReadable(int milliseconds) {
  const int ready = platform::WaitReady(handle, false, milliseconds);
  if (ready < 0) throw CBlockingSocketException(L"Socket Error");
  return ready == 1;
}

sockaddr_in CBlockingSocket::GetHostByName(const char* host, std::uint16_t port) {
  sockaddr_in address{};
  if (!platform::ResolveHost(host, address.sin_addr))
    throw CBlockingSocketException(L"GetHostByName");
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  return address;
}

const char* CBlockingSocket::GetHostByAddr(const sockaddr_in& address) {
  const char* name = platform::ResolveAddress(address);
  if (name == nullptr) throw CBlockingSocketException(L"GetHostByAddr");
  return name;
}

}  // namespace nsSocket
