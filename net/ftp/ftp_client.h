#pragma once
// A blocking, passive-mode FTP client (RFC 959) that downloads one file at a
// time with resume. Every operation runs on the calling thread and reports by
// its result; socket exceptions are caught where they arise.
//
// Threads: one worker drives the client. Two things may come from elsewhere:
//  - Abort(), from any thread at any time. It only raises a request and
//    returns: it never touches the control connection and never waits for it
//    (a logon may hold it for many seconds). A download or data command that
//    is running stops at its next step and stores nothing more; while data
//    flows the loop looks at the request at least every kAbortPollMilliseconds
//    whatever the server does. The worker then closes the data connection and
//    sends "ABOR", and lastTransferEnd says Aborted. With no command running
//    there is nothing to stop and nothing is sent.
//  - reads of the progress counters by a monitor. They are atomics. A
//    transfer sets remoteSize and position, then transferInProgress, then
//    counts itself in transferCount: a monitor that sees the count move knows
//    a transfer started, even one that ended before its next sample, and
//    reads the values it started with.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "base/scoped_file.h"
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

  // A failed or short write (a full disk, say) is remembered: the file is
  // then not what the server sent.
  void OnDataReceived(const char* buffer, std::uint32_t count) override;
  void OnDataToSend(char* buffer, std::uint32_t capacity, std::uint32_t& count) override;
  bool WriteFailed() const { return writeFailed; }

 private:
  halvora::ScopedFile stream;
  bool writeFailed = false;
};

class CFTPClient {
 public:
  static constexpr int kDefaultTimeoutSeconds = 10;
  // Reply reads.
  static constexpr std::size_t kTransferBufferSize = 2048;
  // Data reads and writes: whatever the socket holds, up to this much.
  static constexpr std::size_t kDataBufferSize = 64 * 1024;
  // The longest a data loop waits before it looks at an abort request again.
  static constexpr int kAbortPollMilliseconds = 50;

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
  // MDTM: the file's modification time as the server writes it (for example
  // "20261210093000"); false when the server does not give it.
  bool ModifiedTime(const std::wstring& remotePath, std::string& stamp);
  // True when the file was received whole; lastTransferEnd tells an abort
  // from a failure.
  bool DownloadFile(const std::wstring& remotePath, const std::wstring& localPath,
                    const FtpRepresentation& representation);
  // Raises the abort request for the download or data command that is
  // running (with none running there is nothing to stop) and returns Ok at
  // once. Never blocks.
  FtpResult Abort();
  // Any thread, once: the client is being abandoned. Whatever the worker
  // waits in (a reply, data) ends within kAbortPollMilliseconds, and every
  // later command fails at once.
  void Interrupt();
  FtpResult SetRepresentation(const FtpRepresentation& representation);
  FtpResult EnterPassiveMode(std::uint32_t& address, std::uint16_t& port);
  FtpResult SetRestartOffset(std::uint32_t offset);
  bool RunDataCommand(ITransferNotification& local, const FtpRepresentation& representation,
                      DataCommand command, const std::wstring& path, std::uint32_t offset);
  bool OpenDataConnection(nsSocket::IBlockingSocket& dataSocket, DataCommand command,
                          const std::wstring& path, std::uint32_t offset);

  bool IsConnected() const;

  // Every Send/Receive wait on the control and data connections.
  int timeoutSeconds = kDefaultTimeoutSeconds;

  std::atomic<bool> transferInProgress{false};
  std::atomic<bool> abortRequested{false};
  std::atomic<bool> interrupted{false};
  bool resumeEnabled = true;
  // The size the last SIZE reply gave.
  std::atomic<std::uint32_t> remoteSize{0};
  // Offset in the remote file up to which the local file holds the data.
  std::atomic<std::uint32_t> position{0};
  // Bytes moved by the current DownloadFile.
  std::atomic<std::uint32_t> transferredBytes{0};
  // Transfers started so far (see the top of this file).
  std::atomic<std::uint32_t> transferCount{0};
  // How the last DownloadFile (or data command) ended; set before it returns.
  std::atomic<TransferEnd> lastTransferEnd{TransferEnd::Failed};

 private:
  // How a receive or send loop stopped.
  enum class LoopEnd { AllData, Aborted, SocketFailed };
  class CommandScope;
  class TransferScope;

  // Sets the representation on the server unless it is already in place.
  bool EnsureRepresentation(const FtpRepresentation& representation);
  // SIZE in whatever representation is in place.
  FtpResult QuerySize(const std::wstring& remotePath, std::uint32_t& size);
  FtpResult SimpleCommand(const std::wstring& command);
  bool Exchange(const std::wstring& command, FtpReply& reply);
  void DiscardControl();
  // A step that did not complete: Aborted when an abort was requested during
  // the command, Failed otherwise.
  TransferEnd Unfinished() const;
  TransferEnd Download(CFile& file, const std::wstring& remotePath, const std::wstring& localPath,
                       const FtpRepresentation& representation);
  // The body of a data command, inside a CommandScope.
  TransferEnd Transfer(ITransferNotification& local, const FtpRepresentation& representation,
                       DataCommand command, const std::wstring& path, std::uint32_t offset);
  LoopEnd ReceiveData(ITransferNotification& local, nsSocket::IBlockingSocket& dataSocket);
  LoopEnd SendData(ITransferNotification& local, nsSocket::IBlockingSocket& dataSocket);
  // After an aborted transfer: "ABOR" and "NOOP", then every reply up to the
  // NOOP's, all within timeoutSeconds.
  void AbortExchange();

  char transferBuffer[kTransferBufferSize] = {};
  std::unique_ptr<char[]> dataBuffer;
  std::deque<std::string> replyLineQueue;
  // Received bytes of a line whose LF has not arrived yet.
  std::string partialReplyLine;
  std::optional<FtpRepresentation> representationCache;
  std::unique_ptr<nsSocket::IBlockingSocket> controlSocket;
  // Where the control connection went; data connections go there too.
  sockaddr_in controlPeer{};

  // Set while the ABOR exchange runs: reply reads end there at the latest.
  std::optional<std::chrono::steady_clock::time_point> replyDeadline;

  // Serialises everything on the control connection (recursive: Logon is made
  // of commands). Abort() never takes it.
  mutable std::recursive_mutex controlMutex;
  // A download or data command runs: an abort request now means something.
  std::atomic<bool> commandRunning{false};
};

}  // namespace nsFTP
