#pragma once
// The session's transfers over the dialog's main HTTP session and FTP client.

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

  uint32_t HttpRemoteSize(const DownloadItem& item) override;
  TransferOutcome HttpDownload(const DownloadItem& item, bool append) override;
  void FtpLogon(const DownloadItem& item) override;
  uint32_t FtpRemoteSize(const DownloadItem& item) override;
  TransferOutcome FtpDownload(const DownloadItem& item) override;
  void FtpLogout() override;
  void ClearStopRequests() override;
  uint32_t LocalFileSize(const std::wstring& path) override;
  void DeleteLocalFile(const std::wstring& path) override;
  void RequestStop() override;
  TransferSample Sample(int32_t kind) const override;

 private:
  halvora::ZanHttpSession& http;
  nsFTP::CFTPClient& ftp;
};
