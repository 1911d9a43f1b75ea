// Everything that moves file data: SIZE, TYPE, PASV, REST, the data
// connection, the receive and send loops, DownloadFile and Abort.
#include <chrono>
#include <cstdio>
#include <string>

#include "base/debug_output.h"
#include "base/text.h"
#include "net/ftp/ftp_client.h"
#include "net/ftp/ftp_framing.h"

namespace nsFTP {

using nsSocket::CBlockingSocketException;
using nsSocket::IBlockingSocket;

namespace {

// Replies an abort may bring before the NOOP's: the interrupted command's,
// ABOR's, and a few a server may add.
constexpr int kMaxAbortReplies = 8;
const FtpRepresentation kBinary{RepresentationType::Image, TypeFormat::NonPrint};

bool IsReceiving(DataCommand command) {
  return command == DataCommand::List || command == DataCommand::NameList ||
         command == DataCommand::Retrieve;
}

bool IsSending(DataCommand command) {
  return command == DataCommand::Store || command == DataCommand::StoreUnique ||
         command == DataCommand::Append;
}

// The length of a file, found by opening it once more for reading.
std::uint64_t LocalFileLength(const std::wstring& path) {
  CFile reader;
  if (!reader.Open(path, L"rb") || !reader.SeekToEnd()) return 0;
  return reader.Tell();
}

// Offsets and sizes are 32-bit in this client: files of 4 GiB and more are
// not served.
std::uint32_t To32(std::uint64_t value) { return static_cast<std::uint32_t>(value); }

// A failing close must not undo what the transfer achieved.
void CloseQuietly(IBlockingSocket& socket) {
  try {
    socket.Close();
  } catch (const CBlockingSocketException&) {
    socket.Discard();
  }
}

}  // namespace

bool CFile::Open(const std::wstring& path, const std::wstring& mode) {
  Close();
  const std::string narrowPath = halvora::WideToAnsi(path);
  const std::string narrowMode = halvora::WideToAnsi(mode);
  stream.reset(std::fopen(narrowPath.c_str(), narrowMode.c_str()));
  if (!stream) return false;
  // Data arrives in pieces of up to 64 KiB: each goes to the file in one
  // write, without a copy through a stream buffer (which would also split
  // it in two writes whenever it straddles the buffer's end).
  std::setvbuf(stream.get(), nullptr, _IONBF, 0);
  return true;
}

void CFile::Close() { stream.reset(); }

bool CFile::SeekToEnd() { return stream && fseeko64(stream.get(), 0, SEEK_END) == 0; }

std::uint64_t CFile::Tell() const {
  if (!stream) return 0;
  const auto offset = ftello64(stream.get());
  return offset < 0 ? 0 : static_cast<std::uint64_t>(offset);
}

void CFile::OnDataReceived(const char* buffer, std::uint32_t count) {
  if (!stream || std::fwrite(buffer, 1, count, stream.get()) != count) writeFailed = true;
}

void CFile::OnDataToSend(char* buffer, std::uint32_t capacity, std::uint32_t& count) {
  count = stream ? static_cast<std::uint32_t>(std::fread(buffer, 1, capacity, stream.get())) : 0;
}

// Marks a download or data command as running, so that Abort() requests
// mean something, and voids the requests left from before it.
class CFTPClient::CommandScope {
 public:
  explicit CommandScope(CFTPClient& client) : client(client) {
    bool idle = false;
    started = client.commandRunning.compare_exchange_strong(idle, true);
    // A request raised before this point stopped nothing and is dropped;
    // one raised from here on stops this command.
    if (started) client.abortRequested = false;
  }
  ~CommandScope() {
    if (!started) return;
    client.abortRequested = false;
    client.commandRunning = false;
  }
  CommandScope(const CommandScope&) = delete;
  CommandScope& operator=(const CommandScope&) = delete;

  bool started = false;

 private:
  CFTPClient& client;
};

// transferInProgress for the life of a receive or send loop; the count goes
// up after the flag, and both after remoteSize and position were set.
class CFTPClient::TransferScope {
 public:
  explicit TransferScope(CFTPClient& client) : client(client) {
    client.transferInProgress = true;
    ++client.transferCount;
  }
  ~TransferScope() { client.transferInProgress = false; }
  TransferScope(const TransferScope&) = delete;
  TransferScope& operator=(const TransferScope&) = delete;

 private:
  CFTPClient& client;
};

FtpResult CFTPClient::QuerySize(const std::wstring& remotePath, std::uint32_t& size) {
  FtpReply reply;
  if (!Exchange(L"SIZE " + remotePath, reply)) return FtpResult::Error;
  // Every reply read sets the size, a refusal included (then usually 0).
  size = SizeFromReply(reply.text);
  return ResultOf(reply);
}

FtpResult CFTPClient::FileSize(const std::wstring& remotePath, std::uint32_t& size) {
  std::lock_guard<std::recursive_mutex> lock(controlMutex);
  // A connection starts in ASCII mode, where servers may refuse SIZE (a
  // package would look complete at size 0) or count converted line ends. If
  // TYPE I is refused, SIZE still gets its own answer.
  if (!representationCache || representationCache->type != RepresentationType::Image)
    EnsureRepresentation(kBinary);
  return QuerySize(remotePath, size);
}

bool CFTPClient::ModifiedTime(const std::wstring& remotePath, std::string& stamp) {
  FtpReply reply;
  if (!Exchange(L"MDTM " + remotePath, reply) || std::wstring(reply.code) != L"213") return false;
  std::wstring value = reply.text.size() > 4 ? reply.text.substr(4) : std::wstring();
  const auto first = value.find_first_not_of(L" \t");
  const auto last = value.find_last_not_of(L" \t\r\n");
  if (first == std::wstring::npos) return false;
  stamp = halvora::WideToAnsi(value.substr(first, last - first + 1));
  return true;
}

FtpResult CFTPClient::SetRepresentation(const FtpRepresentation& representation) {
  const std::wstring command = RepresentationCommand(representation);
  if (command.empty()) return FtpResult::Error;
  return SimpleCommand(command);
}

FtpResult CFTPClient::EnterPassiveMode(std::uint32_t& address, std::uint16_t& port) {
  FtpReply reply;
  if (!Exchange(L"PASV", reply)) return FtpResult::Error;
  if (reply.code[0] == L'2' && !ParsePassiveReply(reply.text, address, port))
    return FtpResult::Error;
  return ResultOf(reply);
}

FtpResult CFTPClient::SetRestartOffset(std::uint32_t offset) {
  FtpReply reply;
  if (!Exchange(L"REST " + std::to_wstring(offset), reply)) return FtpResult::Error;
  return ResultOf(reply, L'3');
}

bool CFTPClient::OpenDataConnection(IBlockingSocket& dataSocket, DataCommand command,
                                    const std::wstring& path, std::uint32_t offset) {
  std::lock_guard<std::recursive_mutex> lock(controlMutex);
  std::uint32_t address = 0;
  std::uint16_t port = 0;
  if (EnterPassiveMode(address, port) != FtpResult::Ok) return false;
  // Last point to stop before the server is asked to transfer. From REST on
  // the commands belong together: a REST left behind would shift the next
  // transfer that sends none.
  if (abortRequested) return false;

  // The data connection goes to the host the control connection reached,
  // whatever address the reply names: a server must not steer the client to
  // another host. The port is the one the server offered.
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_addr = controlPeer.sin_addr;
  target.sin_port = htons(port);
  try {
    dataSocket.Create(nsSocket::kStreamSocket);
    dataSocket.Connect(target, timeoutSeconds, &interrupted);
  } catch (const CBlockingSocketException&) {
    dataSocket.Discard();
    return false;
  }

  const bool mayRestart = command == DataCommand::Retrieve || command == DataCommand::Store ||
                          command == DataCommand::Append;
  if (resumeEnabled && mayRestart && offset != 0 && SetRestartOffset(offset) != FtpResult::Ok)
    return false;

  FtpReply reply;
  return Exchange(DataCommandLine(command, path), reply) && reply.code[0] == L'1';
}

CFTPClient::LoopEnd CFTPClient::ReceiveData(ITransferNotification& local,
                                            IBlockingSocket& dataSocket) {
  TransferScope running(*this);
  using Clock = std::chrono::steady_clock;
  const auto silenceLimit = std::chrono::seconds(timeoutSeconds);
  try {
    auto lastData = Clock::now();
    for (;;) {
      if (abortRequested || interrupted) return LoopEnd::Aborted;
      // Short waits, so that an abort is seen even when the server sends
      // nothing; only timeoutSeconds without any data fail the transfer.
      if (!dataSocket.WaitReadable(kAbortPollMilliseconds)) {
        if (Clock::now() - lastData >= silenceLimit) {
          dataSocket.Discard();
          return LoopEnd::SocketFailed;
        }
        continue;
      }
      const int count =
          dataSocket.Receive(dataBuffer.get(), static_cast<int>(kDataBufferSize), timeoutSeconds);
      // The bytes of a read that meets an abort request are not stored.
      if (abortRequested) return LoopEnd::Aborted;
      if (count == 0) return LoopEnd::AllData;
      lastData = Clock::now();
      auto chunk = static_cast<std::uint32_t>(count);
      // Never store past the size the server announced.
      const std::uint32_t remaining = remoteSize - position;
      const bool last = remaining < chunk;
      if (last) chunk = remaining;
      local.OnDataReceived(dataBuffer.get(), chunk);
      position += chunk;
      transferredBytes += chunk;
      if (last) return LoopEnd::AllData;
    }
  } catch (const CBlockingSocketException&) {
    dataSocket.Discard();
    return LoopEnd::SocketFailed;
  }
}

CFTPClient::LoopEnd CFTPClient::SendData(ITransferNotification& local,
                                         IBlockingSocket& dataSocket) {
  TransferScope running(*this);
  try {
    for (;;) {
      if (abortRequested) return LoopEnd::Aborted;
      std::uint32_t count = 0;
      local.OnDataToSend(dataBuffer.get(), kDataBufferSize, count);
      if (count == 0) return LoopEnd::AllData;
      dataSocket.SendAll(dataBuffer.get(), static_cast<int>(count), timeoutSeconds);
      position += count;
      transferredBytes += count;
    }
  } catch (const CBlockingSocketException&) {
    dataSocket.Discard();
    return LoopEnd::SocketFailed;
  }
}

void CFTPClient::AbortExchange() {
  std::lock_guard<std::recursive_mutex> lock(controlMutex);
  // The whole exchange, not each read, is bounded: a server that never
  // answers costs one time-out, after which the connection is dropped.
  replyDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  // RFC 959 answers the interrupted command (426, or 226 when it had
  // finished) and then ABOR (226 or 225), but servers differ: pyftpdlib
  // answers ABOR alone when no byte had left. The NOOP's "200" marks the end
  // of what the abort brought, so no reply is left for the next command.
  bool synchronised = false;
  if (SendCommand(L"ABOR") && SendCommand(L"NOOP")) {
    FtpReply reply;
    for (int replies = 0; replies < kMaxAbortReplies && !synchronised && ReadReply(reply);
         ++replies)
      synchronised = std::wstring(reply.code) == L"200";
  }
  replyDeadline.reset();
  // Out of step with the server: later replies would answer the wrong
  // commands.
  if (!synchronised) DiscardControl();
}

bool CFTPClient::EnsureRepresentation(const FtpRepresentation& representation) {
  std::lock_guard<std::recursive_mutex> lock(controlMutex);
  // After logon the server transfers ASCII, non-print.
  if (!representationCache) representationCache = FtpRepresentation{};
  if (representation == *representationCache) return true;
  if (SetRepresentation(representation) != FtpResult::Ok) return false;
  representationCache = representation;
  return true;
}

TransferEnd CFTPClient::Unfinished() const {
  return abortRequested ? TransferEnd::Aborted : TransferEnd::Failed;
}

TransferEnd CFTPClient::Transfer(ITransferNotification& local,
                                 const FtpRepresentation& representation, DataCommand command,
                                 const std::wstring& path, std::uint32_t offset) {
  std::unique_ptr<IBlockingSocket> dataSocket;
  {
    std::lock_guard<std::recursive_mutex> lock(controlMutex);
    if (!IsConnected()) return TransferEnd::Failed;
    if (!EnsureRepresentation(representation)) return Unfinished();
    if (abortRequested) return TransferEnd::Aborted;
    dataSocket = controlSocket->NewInstance();
    if (!OpenDataConnection(*dataSocket, command, path, offset)) {
      dataSocket->Discard();
      return Unfinished();
    }
  }

  // Any other command counts as a failed transfer.
  LoopEnd loop = LoopEnd::SocketFailed;
  if (IsReceiving(command)) {
    loop = ReceiveData(local, *dataSocket);
  } else if (IsSending(command)) {
    loop = SendData(local, *dataSocket);
  }
  CloseQuietly(*dataSocket);

  switch (loop) {
    case LoopEnd::AllData: {
      // Every byte is in: an abort raised from now on has nothing to stop,
      // and the server's verdict decides.
      std::lock_guard<std::recursive_mutex> lock(controlMutex);
      FtpReply reply;
      const bool confirmed = ReadReply(reply) && reply.code[0] == L'2';
      return confirmed ? TransferEnd::Completed : TransferEnd::Failed;
    }
    case LoopEnd::Aborted:
      // The data connection is closed already: the server stops sending
      // even when it reads ABOR late.
      AbortExchange();
      return TransferEnd::Aborted;
    case LoopEnd::SocketFailed:
      break;
  }
  // The final reply of a failed transfer is left unread.
  return Unfinished();
}

bool CFTPClient::RunDataCommand(ITransferNotification& local,
                                const FtpRepresentation& representation, DataCommand command,
                                const std::wstring& path, std::uint32_t offset) {
  CommandScope scope(*this);
  const TransferEnd end =
      scope.started ? Transfer(local, representation, command, path, offset) : TransferEnd::Failed;
  lastTransferEnd = end;
  return end == TransferEnd::Completed;
}

TransferEnd CFTPClient::Download(CFile& file, const std::wstring& remotePath,
                                 const std::wstring& localPath,
                                 const FtpRepresentation& representation) {
  file.SeekToEnd();
  // The size of a file depends on the representation it is sent in: ask in
  // the one the transfer uses.
  if (!EnsureRepresentation(representation)) return Unfinished();
  if (abortRequested) return TransferEnd::Aborted;
  std::uint32_t size = remoteSize;
  const FtpResult sized = QuerySize(remotePath, size);
  remoteSize = size;
  transferredBytes = 0;
  position = resumeEnabled ? To32(LocalFileLength(localPath)) : 0;
  // Without the size, the end of the data cannot be told from a cut: a file
  // that could not be checked is never reported complete.
  if (sized != FtpResult::Ok) return Unfinished();
  // A local file longer than the remote one is not a part of it.
  if (position > remoteSize) return TransferEnd::Failed;
  const std::uint32_t offset = To32(file.Tell());
  const TransferEnd end = Transfer(file, representation, DataCommand::Retrieve, remotePath, offset);
  if (file.WriteFailed()) return TransferEnd::Failed;
  // A data connection that closed before the announced size is a cut
  // transfer, whatever the final reply says; the bytes stay for a resume.
  if (end == TransferEnd::Completed && position < remoteSize) return TransferEnd::Failed;
  return end;
}

bool CFTPClient::DownloadFile(const std::wstring& remotePath, const std::wstring& localPath,
                              const FtpRepresentation& representation) {
  CommandScope scope(*this);
  // Another command on this client is running: leave the file alone.
  if (!scope.started) {
    lastTransferEnd = TransferEnd::Failed;
    return false;
  }
  CFile file;
  if (!file.Open(localPath, resumeEnabled ? L"ab" : L"wb")) {
    halvora::DebugOutput(
        ("**DownloadFile**** open local file: " + halvora::WideToAnsi(localPath) + " failed!")
            .c_str());
    lastTransferEnd = TransferEnd::Failed;
    return false;
  }
  const TransferEnd end = Download(file, remotePath, localPath, representation);
  file.Close();
  if (end == TransferEnd::Completed) {
    halvora::DebugOutput("--DownloadFile---- ftp download file ok!");
  } else {
    halvora::DebugOutput(
        ("**DownloadFile**** download file: " + halvora::WideToAnsi(remotePath) + " failed!")
            .c_str());
  }
  lastTransferEnd = end;
  return end == TransferEnd::Completed;
}

void CFTPClient::Interrupt() {
  interrupted = true;
  abortRequested = true;
}

FtpResult CFTPClient::Abort() {
  // Only a flag: the worker, which owns the control connection, answers it
  // at its next step. With no command running there is nothing to stop.
  if (commandRunning) abortRequested = true;
  return FtpResult::Ok;
}

}  // namespace nsFTP
