// Logon: directly, or through one of eight kinds of firewall or proxy. Each
// kind is a small state machine over the commands below.
#include <iterator>

#include "net/ftp/ftp_client.h"
#include "net/ftp/ftp_framing.h"

namespace nsFTP {

namespace {

constexpr int LO = -2;  // logged on
constexpr int ER = -1;  // refused

// Triples (command, next index on a 2xx reply, next index on a 3xx reply).
// Indexes count entries of the row, so triples start at 0, 3, 6, ...
constexpr int kSequences[9][18] = {
    /* None */ {0, LO, 3, 1, LO, 6, 2, LO, ER},
    /* SiteHost */ {3, 6, 3, 4, 6, ER, 5, ER, 9, 0, LO, 12, 1, LO, 15, 2, LO, ER},
    /* UserAfterFirewallLogon */ {3, 6, 3, 4, 6, ER, 6, LO, 9, 1, LO, 12, 2, LO, ER},
    /* ProxyOpen */ {7, 3, 3, 0, LO, 6, 1, LO, 9, 2, LO, ER},
    /* Transparent */ {3, 6, 3, 4, 6, ER, 0, LO, 9, 1, LO, 12, 2, LO, ER},
    /* UserAtHost */ {6, LO, 3, 1, LO, 6, 2, LO, ER},
    /* FirewallUserAtHost */ {8, 6, 3, 4, 6, ER, 0, LO, 9, 1, LO, 12, 2, LO, ER},
    /* UserAtHostFirewallUser */ {9, ER, 3, 1, LO, 6, 2, LO, ER},
    /* UserAtFirewallUserAtHost */ {10, LO, 3, 11, LO, 6, 2, LO, ER},
};

std::wstring LogonCommand(int command, const FtpLogonInfo& info, const std::wstring& server) {
  switch (command) {
    case 0:
      return L"USER " + info.user;
    case 1:
      return L"PASS " + info.password;
    case 2:
      return L"ACCT " + info.account;
    case 3:
      return L"USER " + info.firewallUser;
    case 4:
      return L"PASS " + info.firewallPassword;
    case 5:
      return L"SITE " + server;
    case 6:
      return L"USER " + info.user + L"@" + server;
    case 7:
      return L"OPEN " + server;
    case 8:
      return L"USER " + info.firewallUser + L"@" + server;
    case 9:
      return L"USER " + info.user + L"@" + server + L" " + info.firewallUser;
    case 10:
      return L"USER " + info.user + L"@" + info.firewallUser + L"@" + server;
    default:
      return L"PASS " + info.password + L"@" + info.firewallPassword;
  }
}

}  // namespace

bool CFTPClient::Logon(const FtpLogonInfo& info) {
  const auto type = static_cast<std::int32_t>(info.firewallType);
  if (type < 0 || type >= static_cast<std::int32_t>(std::size(kSequences))) return false;
  const int* sequence = kSequences[type];

  const bool direct = info.firewallType == FirewallType::None;
  const std::wstring& host = direct ? info.host : info.firewallHost;
  const std::uint16_t port = direct ? info.port : info.firewallPort;
  std::wstring server = info.host;
  if (info.port != 21) server += L":" + std::to_wstring(info.port);

  std::lock_guard<std::recursive_mutex> lock(controlMutex);
  if (IsConnected()) Logout();
  if (!OpenControlConnection(host, port)) return false;

  FtpReply reply;
  if (!ReadReply(reply) || reply.code[0] != L'2') return false;

  int step = 0;
  for (;;) {
    if (!SendCommand(LogonCommand(sequence[step], info, server))) return false;
    if (!ReadReply(reply)) return false;
    int next;
    if (reply.code[0] == L'2') {
      next = sequence[step + 1];
    } else if (reply.code[0] == L'3') {
      next = sequence[step + 2];
    } else {
      return false;
    }
    if (next == LO) return ChangeWorkingDirectory(L"/") == FtpResult::Ok;
    if (next == ER) return false;
    step = next;
  }
}

}  // namespace nsFTP
