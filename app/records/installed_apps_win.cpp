// The records file on Windows: the named lock, loading, and the replacement
// of the whole file by a flushed complete copy.

#include <windows.h>

#include <io.h>
#include <shlwapi.h>
#include <tinyxml.h>

#include <cstdio>
#include <string>

#include "app/records/installed_apps.h"
#include "base/scoped_file.h"
#include "base/text.h"
#include "base/win/scoped_handle.h"
#include "base/xml_guard.h"
#include "env/platform_client.h"

namespace halvora {

namespace {

const wchar_t kRecordsFile[] = L"installedApp.xml";
// One lock for every copy of the program in this session.
const wchar_t kRecordsMutex[] = L"Local\\HalvoraInstalledAppRecords";
// A holder only loads, appends and saves a small file. A copy that waits
// longer than this sees a hung holder and drops its record rather than hang.
constexpr DWORD kLockWaitMs = 60000;
// The file grows by one short line per installation; a far larger file is
// not one this program wrote, and it is left alone.
constexpr ULONGLONG kMaxRecordsFileBytes = 16ull << 20;
constexpr halvora::XmlLimits kRecordsXmlLimits{kMaxRecordsFileBytes, 64, 256};
// A reader that opened the file without FILE_SHARE_DELETE holds off the
// replacement while it reads; there is nothing to wait on but time.
constexpr int kReplaceAttempts = 20;
constexpr DWORD kReplaceRetryMs = 50;

class RecordsLock {
 public:
  RecordsLock() : mutex_(CreateMutexW(nullptr, FALSE, kRecordsMutex)) {
    if (!mutex_) return;
    const DWORD wait = WaitForSingleObject(mutex_.Get(), kLockWaitMs);
    // An abandoned lock passes to us; its holder left the file whole, since
    // the file is only ever replaced.
    held_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
  }
  RecordsLock(const RecordsLock&) = delete;
  RecordsLock& operator=(const RecordsLock&) = delete;
  ~RecordsLock() {
    if (held_) ReleaseMutex(mutex_.Get());
  }
  bool Held() const { return held_; }

 private:
  win::KernelHandle mutex_;
  bool held_ = false;
};

// A file that is deleted when it goes out of use, unless it was kept.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::wstring path) : path_(std::move(path)) {}
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    if (!kept_) DeleteFileW(path_.c_str());
  }
  const wchar_t* Path() const { return path_.c_str(); }
  void Keep() { kept_ = true; }

 private:
  std::wstring path_;
  bool kept_ = false;
};

bool LoadRecords(const std::wstring& path, TiXmlDocument& document) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
  const ULONGLONG size = (ULONGLONG{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  if (size > kMaxRecordsFileBytes) return false;
  // Binary: the library normalises the line ends itself. A file built to
  // exhaust the parser is left alone, like one that does not parse.
  const ScopedFile in(_wfopen(path.c_str(), L"rb"));
  return in && halvora::XmlFileWithinLimits(in.get(), kRecordsXmlLimits) &&
         document.LoadFile(in.get());
}

// Writes the document to a new file beside `path`, flushes it to the disk and
// puts it in place of `path` in one step.
bool ReplaceRecords(const std::wstring& path, const TiXmlDocument& document) {
  TemporaryFile temporary(path + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp");
  {
    // Text mode: the library prints LF, the file gets CR LF.
    ScopedFile out(_wfopen(temporary.Path(), L"wt"));
    if (!out || !document.SaveFile(out.get()) || std::fflush(out.get()) != 0) return false;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(out.get())));
    if (!FlushFileBuffers(handle) || std::fclose(out.release()) != 0) return false;
  }
  for (int attempt = 1;; ++attempt) {
    if (MoveFileExW(temporary.Path(), path.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      temporary.Keep();
      return true;
    }
    const DWORD error = GetLastError();
    if (attempt == kReplaceAttempts ||
        (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED))
      return false;
    Sleep(kReplaceRetryMs);
  }
}

// Copies of the file that a writer left when it died between writing and
// replacing. Only called under the lock, when no writer is at work.
void RemoveLeftovers(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  const std::wstring pattern = folder + kRecordsFile + L".*.tmp";
  const win::FindHandle find(FindFirstFileW(pattern.c_str(), &found));
  if (!find) return;
  do {
    DeleteFileW((folder + found.cFileName).c_str());
  } while (FindNextFileW(find.Get(), &found));
}

}  // namespace

bool AddInstalledAppRecord(const std::wstring& folder, const AppInfo& app) {
  CreateDirectoryW(folder.c_str(), nullptr);
  const RecordsLock lock;
  if (!lock.Held()) return false;
  RemoveLeftovers(folder);

  const std::wstring path = folder + kRecordsFile;
  TiXmlDocument document;
  if (PathFileExistsW(path.c_str())) {
    if (!LoadRecords(path, document)) return false;
  } else {
    StartRecordList(document);
  }
  if (!AppendRecord(document, WideToAnsi(app.appId),
                    RecordTypeText(app.appType, app.installTypeId)))
    return false;
  return ReplaceRecords(path, document);
}

}  // namespace halvora

void AddInstalledApp(const AppInfo& app) {
  const std::wstring folder = halvora::RecordsFolder(GetUserAppDataFolder());
  if (!folder.empty()) halvora::AddInstalledAppRecord(folder, app);
}
