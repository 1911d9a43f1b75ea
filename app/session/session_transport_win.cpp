#include "app/session/session_transport_win.h"

#include <windows.h>

#include <cstdio>

#include "app/session/retry_schedule.h"
#include "base/scoped_file.h"
#include "base/text.h"
#include "base/win/scoped_handle.h"
#include "net/ftp/ftp_client.h"
#include "net/http/http_download.h"
#include "net/http/zan_http_session.h"

namespace {

const nsFTP::FtpRepresentation kImage{nsFTP::RepresentationType::Image,
                                      nsFTP::TypeFormat::NonPrint};

}  // namespace

RemoteFile WinSessionTransport::HttpRemoteFile(const DownloadItem& item) {
  halvora::RemoteFileFacts facts;
  if (!halvora::QueryRemoteFile(halvora::WideToAnsi(item.remote).c_str(), facts, &abandoned)) {
    return {};
  }
  return {facts.size, facts.validator};
}

TransferReport WinSessionTransport::HttpDownload(const DownloadItem& item, bool append,
                                                 const std::string& validator) {
  halvora::HttpAnswerFacts facts;
  const int32_t result =
      halvora::DownloadHttpFile(http, halvora::WideToAnsi(item.local).c_str(),
                                halvora::WideToAnsi(item.remote).c_str(), append, validator, facts);
  TransferReport report{TransferOutcome::Failed, facts.retryAfterSeconds, facts.validator};
  switch (result) {
    case halvora::kDownloadOk:
      report.outcome = TransferOutcome::Completed;
      break;
    case halvora::kDownloadCancelled:
      report.outcome = TransferOutcome::Stopped;
      break;
    case halvora::kDownloadNoFileOrRangeEnd:
      // Either nothing is left after the bytes on disk, or the local file
      // could not be opened, which another attempt may mend.
      if (facts.status == 416) report.outcome = TransferOutcome::RangeEnd;
      break;
    default:
      if (!RetryableHttpStatus(facts.status)) report.outcome = TransferOutcome::Refused;
      break;
  }
  return report;
}

void WinSessionTransport::FtpLogon(const DownloadItem& item) {
  if (abandoned.load() != 0) return;
  ftp.Logon(nsFTP::FtpLogonInfo(item.ftpHost, static_cast<uint16_t>(item.ftpPort), item.ftpAccount,
                                item.ftpPassword, std::wstring()));
}

RemoteFile WinSessionTransport::FtpRemoteFile(const DownloadItem& item) {
  RemoteFile remote;
  if (ftp.FileSize(item.remote, remote.size) != nsFTP::FtpResult::Ok) remote.size = 0;
  if (!ftp.ModifiedTime(item.remote, remote.validator)) remote.validator.clear();
  return remote;
}

TransferReport WinSessionTransport::FtpDownload(const DownloadItem& item,
                                                const std::string& validator) {
  TransferReport report{TransferOutcome::Failed, 0, validator};
  // A continuation goes on only over the same version of the file: another
  // modification time means other bytes, and the file starts over.
  if (!validator.empty() && LocalFileSize(item.local) != 0) {
    std::string now;
    if (!ftp.ModifiedTime(item.remote, now)) return report;
    if (now != validator) {
      DeleteLocalFile(item.local);
      report.validator = now;
    }
  }
  ftp.resumeEnabled = true;
  ftp.DownloadFile(item.remote, item.local, kImage);
  switch (ftp.lastTransferEnd.load()) {
    case nsFTP::TransferEnd::Completed:
      report.outcome = TransferOutcome::Completed;
      break;
    case nsFTP::TransferEnd::Aborted:
      report.outcome = TransferOutcome::Stopped;
      break;
    case nsFTP::TransferEnd::Failed:
      // The client does not tell a lost connection from a refusal: every
      // failure is tried again, and the attempts bound it.
      break;
  }
  return report;
}

void WinSessionTransport::FtpLogout() { ftp.Logout(); }

void WinSessionTransport::ClearStopRequests() {
  if (abandoned.load() == 0) http.cancelRequested.exchange(0);
}

uint32_t WinSessionTransport::LocalFileSize(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  const halvora::win::FindHandle found(FindFirstFileW(path.c_str(), &data));
  return found ? data.nFileSizeLow : 0;
}

void WinSessionTransport::DeleteLocalFile(const std::wstring& path) { DeleteFileW(path.c_str()); }

std::optional<PartRecord> WinSessionTransport::LoadPartRecord(const std::wstring& local) {
  const halvora::ScopedFile file(_wfopen(PartRecordPath(local).c_str(), L"rb"));
  if (!file) return std::nullopt;
  std::string text(kMaxPartRecordBytes + 1, '\0');
  text.resize(std::fread(text.data(), 1, text.size(), file.get()));
  if (text.size() > kMaxPartRecordBytes) return std::nullopt;
  return ParsePartRecord(text);
}

// Written beside and renamed into place, so a kill leaves the old record or
// the new one, never half of one.
void WinSessionTransport::SavePartRecord(const std::wstring& local, const PartRecord& record) {
  const std::wstring path = PartRecordPath(local);
  const std::wstring temporary = path + L".tmp";
  const std::string text = FormatPartRecord(record);
  {
    const halvora::ScopedFile file(_wfopen(temporary.c_str(), L"wb"));
    if (!file) return;
    const bool written = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size() &&
                         std::fflush(file.get()) == 0;
    if (!written) {
      DeleteFileW(temporary.c_str());
      return;
    }
  }
  if (!MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileW(temporary.c_str());
  }
}

void WinSessionTransport::DeletePartRecord(const std::wstring& local) {
  DeleteFileW(PartRecordPath(local).c_str());
}

void WinSessionTransport::RequestStop() {
  http.cancelRequested.exchange(1);
  ftp.Abort();
}

void WinSessionTransport::Abandon() {
  abandoned.exchange(1);
  http.cancelRequested.exchange(1);
  ftp.Interrupt();
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
