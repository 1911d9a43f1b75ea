#pragma once
// The session's transfers over the dialog's main HTTP session and FTP client,
// and the records it keeps beside partial files.

#include <atomic>

#include "app/session/install_session.h"

namespace halvora {
class ZanHttpSession;
}
namespace nsFTP {
class CFTPClient;
}

class WinSessionTransport final : public SessionTransport {
 public:
  WinSessionTransport(halvora::ZanHttpSession& http, nsFTP::CFTPClient& ftp)
      : http(http), ftp(ftp) {}

  RemoteFile HttpRemoteFile(const DownloadItem& item) override;
  TransferReport HttpDownload(const DownloadItem& item, bool append,
                              const std::string& validator) override;
  void FtpLogon(const DownloadItem& item) override;
  RemoteFile FtpRemoteFile(const DownloadItem& item) override;
  TransferReport FtpDownload(const DownloadItem& item, const std::string& validator) override;
  void FtpLogout() override;
  void ClearStopRequests() override;
  uint32_t LocalFileSize(const std::wstring& path) override;
  void DeleteLocalFile(const std::wstring& path) override;
  std::optional<PartRecord> LoadPartRecord(const std::wstring& local) override;
  void SavePartRecord(const std::wstring& local, const PartRecord& record) override;
  void DeletePartRecord(const std::wstring& local) override;
  void RequestStop() override;
  void Abandon() override;
  TransferSample Sample(int32_t kind) const override;

 private:
  halvora::ZanHttpSession& http;
  nsFTP::CFTPClient& ftp;
  // Raised once by Abandon: every later request stops at once.
  std::atomic<int32_t> abandoned{0};
};
