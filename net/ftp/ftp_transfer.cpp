// Everything that moves file data: SIZE, TYPE, PASV, REST, the data
// connection, the receive and send loops, DownloadFile and Abort.
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

constexpr std::size_t kStreamBufferSize = 64 * 1024;
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

}  // namespace

bool CFile::Open(const std::wstring& path, const std::wstring& mode) {
  Close();
  const std::string narrowPath = halvora::WideToAnsi(path);
  const std::string narrowMode = halvora::WideToAnsi(mode);
  stream.reset(std::fopen(narrowPath.c_str(), narrowMode.c_str()));
  if (!stream) return false;
  // Chunks arrive 2 KiB at a time; with the default stream buffer every
  // other chunk or so would cost a write call.
  std::setvbuf(stream.get(), nullptr, _IOFBF, kStreamBufferSize);
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
  if (stream) std::fwrite(buffer, 1, count, stream.get());
}

void CFile::OnDataToSend(char* buffer, std::uint32_t capacity, std::uint32_t& count) {
  count = stream ? static_cast<std::uint32_t>(std::fread(buffer, 1, capacity, stream.get())) : 0;
}

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

  // The data connection goes to the host the control connection reached,
  // whatever address the reply names: a server must not steer the client to
  // another host. The port is the one the server offered.
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_addr = controlPeer.sin_addr;
  target.sin_port = htons(port);
  try {
    dataSocket.Create(nsSocket::kStreamSocket);
    dataSocket.Connect(target);
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

void CFTPClient::SetTransferInProgress(bool running) {
  std::lock_guard<std::mutex> lock(abortMutex);
  transferInProgress = running;
}

bool CFTPClient::EndTransfer(bool socketFailed, IBlockingSocket& dataSocket) {
  SetTransferInProgress(false);
  if (socketFailed) {
    dataSocket.Discard();
    return false;
  }
  // An abort raised during the loop still owes the server its ABOR.
  if (abortRequested) {
    SendAbort();
    return false;
  }
  return true;
}

bool CFTPClient::ReceiveData(ITransferNotification& local, IBlockingSocket& dataSocket) {
  SetTransferInProgress(true);
  try {
    int count =
        dataSocket.Receive(transferBuffer, static_cast<int>(kTransferBufferSize), timeoutSeconds);
    while (!abortRequested && count != 0) {
      auto chunk = static_cast<std::uint32_t>(count);
      // Never store past the size the server announced.
      const std::uint32_t remaining = remoteSize - position;
      const bool last = remaining < chunk;
      if (last) chunk = remaining;
      local.OnDataReceived(transferBuffer, chunk);
      position += chunk;
      transferredBytes += chunk;
      if (last) break;
      count =
          dataSocket.Receive(transferBuffer, static_cast<int>(kTransferBufferSize), timeoutSeconds);
    }
  } catch (const CBlockingSocketException&) {
    return EndTransfer(true, dataSocket);
  }
  return EndTransfer(false, dataSocket);
}

bool CFTPClient::SendData(ITransferNotification& local, IBlockingSocket& dataSocket) {
  SetTransferInProgress(true);
  try {
    std::uint32_t count = 0;
    local.OnDataToSend(transferBuffer, kTransferBufferSize, count);
    while (!abortRequested && count != 0) {
      dataSocket.SendAll(transferBuffer, static_cast<int>(count), timeoutSeconds);
      position += count;
      transferredBytes += count;
      local.OnDataToSend(transferBuffer, kTransferBufferSize, count);
    }
  } catch (const CBlockingSocketException&) {
    return EndTransfer(true, dataSocket);
  }
  return EndTransfer(false, dataSocket);
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

bool CFTPClient::RunDataCommand(ITransferNotification& local,
                                const FtpRepresentation& representation, DataCommand command,
                                const std::wstring& path, std::uint32_t offset) {
  {
    std::lock_guard<std::mutex> lock(abortMutex);
    if (dataCommandRunning || transferInProgress) return false;
    dataCommandRunning = true;
  }
  // From here until the end an Abort() from another thread only raises the
  // flag; the loop (or the end of this command) answers it.
  struct EndOfCommand {
    CFTPClient& client;
    ~EndOfCommand() {
      std::lock_guard<std::mutex> lock(client.abortMutex);
      client.dataCommandRunning = false;
      // A request that came too late to stop anything is void.
      client.abortRequested = false;
    }
  } endOfCommand{*this};

  std::unique_ptr<IBlockingSocket> dataSocket;
  {
    std::lock_guard<std::recursive_mutex> lock(controlMutex);
    if (!IsConnected()) return false;
    if (!EnsureRepresentation(representation)) return false;
    dataSocket = controlSocket->NewInstance();
    if (!OpenDataConnection(*dataSocket, command, path, offset)) {
      dataSocket->Discard();
      return false;
    }
  }

  bool transferred = false;
  if (IsReceiving(command)) {
    transferred = ReceiveData(local, *dataSocket);
  } else if (IsSending(command)) {
    transferred = SendData(local, *dataSocket);
  }

  // A failing close must not undo the transfer's own result.
  try {
    dataSocket->Close();
  } catch (const CBlockingSocketException&) {
    dataSocket->Discard();
  }

  if (!transferred) return false;
  std::lock_guard<std::recursive_mutex> lock(controlMutex);
  FtpReply reply;
  return ReadReply(reply) && reply.code[0] == L'2';
}

bool CFTPClient::DownloadFile(const std::wstring& remotePath, const std::wstring& localPath,
                              const FtpRepresentation& representation) {
  CFile file;
  if (!file.Open(localPath, resumeEnabled ? L"ab" : L"wb")) {
    halvora::DebugOutput(
        ("**DownloadFile**** open local file: " + halvora::WideToAnsi(localPath) + " failed!")
            .c_str());
    return false;
  }
  file.SeekToEnd();

  // The size of a file depends on the representation it is sent in, and
  // servers may refuse SIZE in ASCII mode: ask in the one the transfer uses.
  bool ok = EnsureRepresentation(representation);
  if (ok) {
    std::uint32_t size = remoteSize;
    QuerySize(remotePath, size);
    remoteSize = size;
    transferredBytes = 0;
    position = resumeEnabled ? To32(LocalFileLength(localPath)) : 0;
    const std::uint32_t offset = To32(file.Tell());
    ok = RunDataCommand(file, representation, DataCommand::Retrieve, remotePath, offset);
  }
  if (ok) {
    halvora::DebugOutput("--DownloadFile---- ftp download file ok!");
  } else {
    halvora::DebugOutput(
        ("**DownloadFile**** download file: " + halvora::WideToAnsi(remotePath) + " failed!")
            .c_str());
  }
  file.Close();
  return ok;
}

FtpResult CFTPClient::Abort() {
  std::lock_guard<std::mutex> lock(abortMutex);
  if (dataCommandRunning || transferInProgress) {
    abortRequested = true;
    return FtpResult::Ok;
  }
  // Holding abortMutex keeps a data command from starting before "ABOR" is
  // answered.
  return SendAbort();
}

FtpResult CFTPClient::SendAbort() {
  abortRequested = false;
  return SimpleCommand(L"ABOR");
}

}  // namespace nsFTP
