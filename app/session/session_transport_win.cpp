#include "app/session/session_transport_win.h"

#include <windows.h>

#include <string>

#include "base/text.h"
#include "base/win/scoped_handle.h"
#include "net/ftp/ftp_client.h"
#include "net/http/http_download.h"
#include "net/http/zan_http_session.h"

namespace {

const nsFTP::FtpRepresentation kImage{nsFTP::RepresentationType::Image,
                                      nsFTP::TypeFormat::NonPrint};

}  // namespace

uint32_t WinSessionTransport::HttpRemoteSize(const DownloadItem& item) {
  halvora::RemoteFileFacts facts;
  halvora::QueryRemoteFile(halvora::WideToAnsi(item.remote).c_str(), facts, &http.cancelRequested);
  return facts.size;
}

TransferOutcome WinSessionTransport::HttpDownload(const DownloadItem& item, bool append) {
  halvora::HttpAnswerFacts facts;
  switch (halvora::DownloadHttpFile(http, halvora::WideToAnsi(item.local).c_str(),
                                    halvora::WideToAnsi(item.remote).c_str(), append, std::string(),
                                    facts)) {
    case halvora::kDownloadOk:
      return TransferOutcome::Completed;
    case halvora::kDownloadCancelled:
      return TransferOutcome::Stopped;
    default:
      return TransferOutcome::Failed;
  }
}

void WinSessionTransport::FtpLogon(const DownloadItem& item) {
  ftp.Logon(nsFTP::FtpLogonInfo(item.ftpHost, static_cast<uint16_t>(item.ftpPort), item.ftpAccount,
                                item.ftpPassword, std::wstring()));
}

uint32_t WinSessionTransport::FtpRemoteSize(const DownloadItem& item) {
  uint32_t size = 0;
  ftp.FileSize(item.remote, size);
  return size;
}

TransferOutcome WinSessionTransport::FtpDownload(const DownloadItem& item) {
  ftp.resumeEnabled = true;
  ftp.DownloadFile(item.remote, item.local, kImage);
  switch (ftp.lastTransferEnd.load()) {
    case nsFTP::TransferEnd::Completed:
      return TransferOutcome::Completed;
    case nsFTP::TransferEnd::Aborted:
      return TransferOutcome::Stopped;
    case nsFTP::TransferEnd::Failed:
      break;
  }
  return TransferOutcome::Failed;
}

void WinSessionTransport::FtpLogout() { ftp.Logout(); }

void WinSessionTransport::ClearStopRequests() { http.cancelRequested.exchange(0); }

uint32_t WinSessionTransport::LocalFileSize(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  const halvora::win::FindHandle found(FindFirstFileW(path.c_str(), &data));
  return found ? data.nFileSizeLow : 0;
}

void WinSessionTransport::DeleteLocalFile(const std::wstring& path) { DeleteFileW(path.c_str()); }

void WinSessionTransport::RequestStop() {
  http.cancelRequested.exchange(1);
  ftp.Abort();
}

TransferSample WinSessionTransport::Sample(int32_t kind) const {
  TransferSample sample;
  if (kind == kDownloadKindHttp) {
    sample.count = http.transferCount;
    sample.total = static_cast<uint32_t>(http.totalBytes.load());
    sample.present = static_cast<uint32_t>(http.presentBytes.load());
  } else {
    sample.count = ftp.transferCount;
    sample.total = ftp.remoteSize;
    sample.present = ftp.position;
  }
  return sample;
}
