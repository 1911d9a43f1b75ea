// The control connection: opening and closing it, one command line out, reply
// lines and replies in, and the simple commands built from them.
#include "net/ftp/ftp_client.h"

#include <cstring>

#include "base/text.h"
#include "net/ftp/ftp_framing.h"

namespace nsFTP {

using nsSocket::CBlockingSocketException;

CFTPClient::CFTPClient(std::unique_ptr<nsSocket::IBlockingSocket> controlSocket)
    : dataBuffer(std::make_unique<char[]>(kDataBufferSize)),
      controlSocket(std::move(controlSocket)) {}

CFTPClient::~CFTPClient() {
  if (transferInProgress) Abort();
  if (IsConnected()) Logout();
  // A QUIT without a proper answer leaves the connection open; the socket
  // object does not close its handle when it is deleted.
  if (IsConnected()) CloseControlConnection();
}

bool CFTPClient::IsConnected() const {
  std::lock_guard<std::recursive_mutex> lock(controlMutex);
  return controlSocket->Handle() != 0;
}

void CFTPClient::DiscardControl() {
  controlSocket->Discard();
  partialReplyLine.clear();
}

bool CFTPClient::OpenControlConnection(const std::wstring& host, std::uint16_t port) {
  std::lock_guard<std::recursive_mutex> lock(controlMutex);
  CloseControlConnection();
  // Lines left from an earlier connection answer nothing on this one.
  replyLineQueue.clear();
  partialReplyLine.clear();
  if (interrupted) return false;
  try {
    controlSocket->Create(nsSocket::kStreamSocket);
    const std::string narrowHost = halvora::WideToAnsi(host);
    const sockaddr_in address = controlSocket->GetHostByName(narrowHost.c_str(), port);
    controlSocket->Connect(address, timeoutSeconds, &interrupted);
    controlPeer = address;
  } catch (const CBlockingSocketException&) {
    DiscardControl();
    return false;
  }
  return true;
}

void CFTPClient::CloseControlConnection() {
  std::lock_guard<std::recursive_mutex> lock(controlMutex);
  try {
    controlSocket->Close();
  } catch (const CBlockingSocketException&) {
    controlSocket->Discard();
  }
  partialReplyLine.clear();
  representationCache.reset();
}

bool CFTPClient::SendCommand(const std::wstring& command) {
  std::lock_guard<std::recursive_mutex> lock(controlMutex);
  if (!IsConnected() || interrupted) return false;
  // A line break inside a path or name would smuggle in a second command.
  if (command.find_first_of(L"\r\n") != std::wstring::npos) return false;
  const std::string line = halvora::WideToAnsi(command) + "\r\n";
  try {
    controlSocket->SendAll(line.data(), static_cast<int>(line.size()), timeoutSeconds);
  } catch (const CBlockingSocketException&) {
    DiscardControl();
    return false;
  }
  return true;
}

bool CFTPClient::ReadReplyLine(std::wstring& line) {
  std::lock_guard<std::recursive_mutex> lock(controlMutex);
  if (!IsConnected()) return false;
  try {
    // A line is complete at its LF; until then keep reading. Only when the
    // server closes does an unterminated tail count as a line of its own.
    while (replyLineQueue.empty()) {
      // Waits in short slices, so that an interrupt ends it at once.
      const auto deadline =
          replyDeadline.value_or(std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds));
      while (!controlSocket->WaitReadable(kAbortPollMilliseconds)) {
        if (interrupted || std::chrono::steady_clock::now() >= deadline) {
          DiscardControl();
          return false;
        }
      }
      const int received = controlSocket->Receive(
          transferBuffer, static_cast<int>(kTransferBufferSize - 1), timeoutSeconds);
      transferBuffer[received] = '\0';
      if (received == 0) {
        if (partialReplyLine.empty()) return false;
        replyLineQueue.push_back(std::move(partialReplyLine));
        partialReplyLine.clear();
        break;
      }
      // The text ends at the first 0 byte the server sent.
      partialReplyLine.append(transferBuffer, std::strlen(transferBuffer));
      TakeCompleteLines(partialReplyLine, replyLineQueue);
      // Room for the CR of a line at the limit whose LF is still to come.
      if (partialReplyLine.size() > kMaxReplyBytes + 1) {
        DiscardControl();
        replyLineQueue.clear();
        return false;
      }
    }
  } catch (const CBlockingSocketException&) {
    DiscardControl();
    return false;
  }
  // The limit holds for the line however its bytes were split into reads: a
  // line that ended within the read that crossed the limit is refused too.
  if (LineTextLength(replyLineQueue.front()) > kMaxReplyBytes) {
    DiscardControl();
    replyLineQueue.clear();
    return false;
  }
  line = StripLineEnd(halvora::AnsiToWide(replyLineQueue.front()));
  replyLineQueue.pop_front();
  return true;
}

bool CFTPClient::ReadReply(FtpReply& reply) {
  std::lock_guard<std::recursive_mutex> lock(controlMutex);
  std::wstring line;
  if (!ReadReplyLine(line)) return false;
  std::wstring text = line;
  if (OpensMultiLineReply(line)) {
    const unsigned long code = LeadingNumber(line);
    do {
      if (!ReadReplyLine(line)) return false;
      text += L"\r\n";
      text += line;
      if (text.size() > kMaxReplyBytes) {
        // The rest of this reply is still on its way: the connection is
        // beyond repair.
        DiscardControl();
        replyLineQueue.clear();
        return false;
      }
    } while (!ClosesMultiLineReply(line, code));
  }
  reply.text = std::move(text);
  return AssignReplyCode(reply);
}

bool CFTPClient::Exchange(const std::wstring& command, FtpReply& reply) {
  std::lock_guard<std::recursive_mutex> lock(controlMutex);
  return SendCommand(command) && ReadReply(reply);
}

FtpResult CFTPClient::SimpleCommand(const std::wstring& command) {
  FtpReply reply;
  if (!Exchange(command, reply)) return FtpResult::Error;
  return ResultOf(reply);
}

FtpResult CFTPClient::ChangeWorkingDirectory(const std::wstring& path) {
  return SimpleCommand(L"CWD " + path);
}

FtpResult CFTPClient::Logout() {
  std::lock_guard<std::recursive_mutex> lock(controlMutex);
  FtpReply reply;
  if (!Exchange(L"QUIT", reply)) return FtpResult::Error;
  CloseControlConnection();
  return ResultOf(reply);
}

}  // namespace nsFTP
