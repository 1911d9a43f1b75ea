#pragma once
// Records and enumerations shared by the FTP client and its callers.

#include <cstdint>
#include <string>
#include <utility>

namespace nsFTP {

// Which logon sequence to run: directly, or through one of eight kinds of
// firewall or proxy. These nine values are the whole range.
enum class FirewallType : std::int32_t {
  None = 0,
  SiteHost = 1,
  UserAfterFirewallLogon = 2,
  ProxyOpen = 3,
  Transparent = 4,
  UserAtHost = 5,
  FirewallUserAtHost = 6,
  UserAtHostFirewallUser = 7,
  UserAtFirewallUserAtHost = 8,
};

struct FtpLogonInfo {
  FtpLogonInfo() = default;
  FtpLogonInfo(std::wstring host, std::uint16_t port, std::wstring user, std::wstring password,
               std::wstring account)
      : host(std::move(host)),
        port(port),
        user(std::move(user)),
        password(std::move(password)),
        account(std::move(account)) {}

  std::wstring host;
  std::uint16_t port = 21;
  std::wstring user = L"anonymous";
  std::wstring password;
  std::wstring account;
  std::wstring firewallHost;
  std::wstring firewallUser;
  std::wstring firewallPassword;
  std::uint16_t firewallPort = 21;
  FirewallType firewallType = FirewallType::None;
};

// One server reply. `text` holds every line of a multi-line reply joined by
// CR LF, without the final CR LF. `code` is the three-digit code and a 0, or
// all zeros when the reply carried no valid code.
struct FtpReply {
  std::wstring text;
  wchar_t code[4] = {0, 0, 0, 0};
};

// Result of a simple command: the first digit of the reply's code.
enum class FtpResult : int {
  Error = -1,   // any other reply, or the exchange itself failed
  Ok = 0,       // 2xx
  Refused = 1,  // 4xx or 5xx
};

// How the last download (or data command) ended: every byte stored and the
// server's final reply positive; stopped by Abort(); or failed otherwise.
enum class TransferEnd { Completed, Aborted, Failed };

enum class RepresentationType : std::int32_t { Ascii = 0, Ebcdic = 1, Image = 2, LocalByte = 3 };
// Applies to Ascii and Ebcdic only.
enum class TypeFormat : std::int32_t { NonPrint = 0, TelnetFormat = 1, CarriageControl = 2 };

struct FtpRepresentation {
  RepresentationType type = RepresentationType::Ascii;
  TypeFormat format = TypeFormat::NonPrint;

  bool operator==(const FtpRepresentation& other) const {
    return type == other.type && format == other.format;
  }
  bool operator!=(const FtpRepresentation& other) const { return !(*this == other); }
};

// The command that runs over a data connection.
enum class DataCommand : std::int32_t {
  List = 0,
  NameList = 1,
  Retrieve = 2,
  Store = 3,
  StoreUnique = 4,
  Append = 5,
};

// The local end of a transfer. Chunks always start at the beginning of the
// client's transfer buffer.
class ITransferNotification {
 public:
  virtual void OnDataReceived(const char* buffer, std::uint32_t count) = 0;
  // Fills at most `capacity` bytes; a count of 0 ends the transfer.
  virtual void OnDataToSend(char* buffer, std::uint32_t capacity, std::uint32_t& count) = 0;

 protected:
  // Never owned or deleted through this interface.
  ~ITransferNotification() = default;
};

}  // namespace nsFTP
