#pragma once
// A blocking, passive-mode FTP client (RFC 959) that downloads one file at a
// time with resume. Every operation runs on the calling thread and reports by
// its result; socket exceptions are caught where they arise.
//
// Threads: one worker drives the client. Two things may come from elsewhere:
//  - Abort(), from another thread. While a data command runs it only raises a
//    flag that the transfer loop reads between chunks; otherwise it waits for
//    the worker's current control exchange to finish and then sends "ABOR".
//    Control exchanges never interleave.
//  - reads of transferInProgress, remoteSize and position by a monitor. They
//    are atomics; remoteSize and position are written before the transfer
//    loop sets transferInProgress, so a reader that has seen the flag set
//    reads both as the loop started with them.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "net/ftp/blocking_socket.h"
#include "net/ftp/ftp_types.h"

namespace nsFTP {

// A local file as the end of a transfer. Paths and modes are converted to
// narrow text in the active code page and opened as a standard I/O stream.
class CFile final : public ITransferNotification {
 public:
  CFile() = default;
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;
  ~CFile() = default;

  bool Open(const std::wstring& path, const std::wstring& mode);
  void Close();
  bool SeekToEnd();
  // The stream's offset, 0 without a stream.
  std::uint64_t Tell() const;

  // Failed or short writes are not reported.
  void OnDataReceived(const char* buffer, std::uint32_t count) override;
  void OnDataToSend(char* buffer, std::uint32_t capacity, std::uint32_t& count) override;

 private:
  struct StreamCloser {
    void operator()(std::FILE* stream) const { std::fclose(stream); }
  };
  std::unique_ptr<std::FILE, StreamCloser> stream;
};

class CFTPClient {
 public:
  static constexpr int kDefaultTimeoutSeconds = 10;
  static constexpr std::size_t kTransferBufferSize = 2048;

  // Takes ownership of the control-connection socket.
  explicit CFTPClient(std::unique_ptr<nsSocket::IBlockingSocket> controlSocket);
  CFTPClient(const CFTPClient&) = delete;
  CFTPClient& operator=(const CFTPClient&) = delete;
  // Aborts a running transfer, logs out when still connected, and closes the
  // control connection even when the log-out failed.
  ~CFTPClient();

  // Control connection.
  bool Logon(const FtpLogonInfo& info);
  FtpResult Logout();
  FtpResult ChangeWorkingDirectory(const std::wstring& path);
  bool OpenControlConnection(const std::wstring& host, std::uint16_t port);
  void CloseControlConnection();
  // Sends one command line; a command holding CR or LF is refused unsent.
  bool SendCommand(const std::wstring& command);
  bool ReadReply(FtpReply& reply);
  bool ReadReplyLine(std::wstring& line);

  // Files and data connections.
  // Asks in binary mode: the size of a package is its byte count, and some
  // servers refuse SIZE in ASCII mode.
  FtpResult FileSize(const std::wstring& remotePath, std::uint32_t& size);
  bool DownloadFile(const std::wstring& remotePath, const std::wstring& localPath,
                    const FtpRepresentation& representation);
  FtpResult Abort();
  FtpResult SetRepresentation(const FtpRepresentation& representation);
  FtpResult EnterPassiveMode(std::uint32_t& address, std::uint16_t& port);
  FtpResult SetRestartOffset(std::uint32_t offset);
  bool RunDataCommand(ITransferNotification& local, const FtpRepresentation& representation,
                      DataCommand command, const std::wstring& path, std::uint32_t offset);
  bool OpenDataConnection(nsSocket::IBlockingSocket& dataSocket, DataCommand command,
                          const std::wstring& path, std::uint32_t offset);
  bool ReceiveData(ITransferNotification& local, nsSocket::IBlockingSocket& dataSocket);
  bool SendData(ITransferNotification& local, nsSocket::IBlockingSocket& dataSocket);

  bool IsConnected() const;

  // Every Send/Receive wait on the control and data connections.
  int timeoutSeconds = kDefaultTimeoutSeconds;

  std::atomic<bool> transferInProgress{false};
  std::atomic<bool> abortRequested{false};
  bool resumeEnabled = true;
  // The size the last SIZE reply gave.
  std::atomic<std::uint32_t> remoteSize{0};
  // Offset in the remote file up to which the local file holds the data.
  std::atomic<std::uint32_t> position{0};
  // Bytes moved by the current DownloadFile.
  std::atomic<std::uint32_t> transferredBytes{0};

 private:
  // Sets the representation on the server unless it is already in place.
  bool EnsureRepresentation(const FtpRepresentation& representation);
  // SIZE in whatever representation is in place.
  FtpResult QuerySize(const std::wstring& remotePath, std::uint32_t& size);
  FtpResult SimpleCommand(const std::wstring& command);
  bool Exchange(const std::wstring& command, FtpReply& reply);
  // Sends "ABOR" on behalf of a loop that stopped, or of Abort().
  FtpResult SendAbort();
  void DiscardControl();
  void SetTransferInProgress(bool running);
  // Closes a receive or send loop: drops the data socket after a socket
  // failure, sends ABOR after an abort request; true when neither happened.
  bool EndTransfer(bool socketFailed, nsSocket::IBlockingSocket& dataSocket);

  char transferBuffer[kTransferBufferSize] = {};
  std::deque<std::string> replyLineQueue;
  // Received bytes of a line whose LF has not arrived yet.
  std::string partialReplyLine;
  std::optional<FtpRepresentation> representationCache;
  std::unique_ptr<nsSocket::IBlockingSocket> controlSocket;
  // Where the control connection went; data connections go there too.
  sockaddr_in controlPeer{};

  // Serialises everything on the control connection (recursive: Logon is made
  // of commands). Lock order: abortMutex before controlMutex.
  mutable std::recursive_mutex controlMutex;
  // Guards the decision "a data command is running" against Abort().
  std::mutex abortMutex;
  bool dataCommandRunning = false;
};

}  // namespace nsFTP
