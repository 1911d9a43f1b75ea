#include "archive/unzipper.h"

#include <shlwapi.h>
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "archive/zip_paths.h"
#include "base/text.h"
#include "base/win/scoped_handle.h"

namespace {

using halvora::zip::kPathArea;

constexpr size_t kCommentArea = 256;  // up to 255 characters and a terminator
constexpr unsigned kCopyPiece = 2048;
constexpr uint32_t kStored = 0;

// Folder creation works on UTF-16: a GBK character may end in the byte '\\',
// and only a whole-character view finds the real separators.
bool EnsureFolderWide(std::wstring path) {
  if (PathFileExistsW(path.c_str())) return true;
  if (path.empty()) return false;
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  const size_t last = path.rfind(L'\\');
  if (last == std::wstring::npos) return false;
  if (!EnsureFolderWide(path.substr(0, last))) return false;
  return CreateDirectoryW(path.c_str(), nullptr) != FALSE;
}

// Only paths that start with a drive letter are accepted ("C:" alone too).
bool EnsureDriveFolder(const std::wstring& path) {
  if (path.size() > 2 && path[1] != L':') return false;
  return EnsureFolderWide(path);
}

// A read-only, hidden or system file cannot be created anew over; an
// extraction run a second time over its own output must still replace it.
void MakeReplaceable(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  constexpr DWORD kBlocking =
      FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
      (attributes & kBlocking)) {
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  }
}

// Writes the archive's current entry to the file; true when all of its
// declared size was read and its checksum matches.
bool CopyCurrentEntry(unzFile archive, HANDLE file) {
  if (unzOpenCurrentFile(archive) != UNZ_OK) return false;
  bool ended = false;
  char piece[kCopyPiece];
  for (;;) {
    const int got = unzReadCurrentFile(archive, piece, kCopyPiece);
    if (got == 0) {
      ended = true;
      break;
    }
    if (got < 0) break;
    DWORD written = 0;
    if (!WriteFile(file, piece, static_cast<DWORD>(got), &written, nullptr) ||
        written != static_cast<DWORD>(got)) {
      break;
    }
  }
  // minizip also ends an entry whose data runs out before its declared size,
  // and compares the checksum only once that size has been read.
  const bool declaredSizeRead = ended && unzeof(archive) == 1;
  return unzCloseCurrentFile(archive) == UNZ_OK && declaredSizeRead;
}

}  // namespace

Unzipper::~Unzipper() { CloseArchive(); }

void Unzipper::CloseArchive() {
  if (archive) {
    unzCloseCurrentFile(archive);
    unzClose(archive);
    archive = nullptr;
  }
  outputFolder.clear();
}

bool Unzipper::OpenArchive(const char* path) {
  CloseArchive();
  if (!path || !*path) return false;
  char full[kPathArea];
  const DWORD length = GetFullPathNameA(path, kPathArea, full, nullptr);
  if (length == 0 || length >= kPathArea) return false;
  archive = unzOpen(full);
  if (archive) outputFolder = halvora::zip::FolderForArchive(full);
  return archive != nullptr;
}

bool Unzipper::ExtractAll(const char* folder) {
  if (!archive) return false;
  unz_global_info global{};
  if (unzGetGlobalInfo(archive, &global) != UNZ_OK || global.number_entry == 0) return false;
  if (!GoToFirstEntry()) return false;
  const std::string target = folder ? folder : outputFolder;
  if (!EnsureFolder(target.c_str())) return false;
  for (;;) {
    if (!ExtractEntry(target.c_str())) return false;
    if (unzGoToNextFile(archive) != UNZ_OK) return true;
  }
}

bool Unzipper::GoToFirstEntry() { return archive && unzGoToFirstFile(archive) == UNZ_OK; }

bool Unzipper::ReadEntryInfo(UnzipEntryInfo& info) {
  info = UnzipEntryInfo{};
  if (!archive) return false;
  unz_file_info raw{};
  char name[kPathArea + 1] = {};
  char comment[kCommentArea] = {};
  if (unzGetCurrentFileInfo(archive, &raw, name, kPathArea, nullptr, 0, comment,
                            kCommentArea - 1) != UNZ_OK) {
    return false;
  }
  if (raw.size_filename > kPathArea) return false;
  info.fileName.assign(name, raw.size_filename);
  std::replace(info.fileName.begin(), info.fileName.end(), '/', '\\');
  info.comment.assign(comment, std::min<size_t>(raw.size_file_comment, kCommentArea - 1));
  info.versionMadeBy = static_cast<uint32_t>(raw.version);
  info.versionNeeded = static_cast<uint32_t>(raw.version_needed);
  info.flags = static_cast<uint32_t>(raw.flag);
  info.compressionMethod = static_cast<uint32_t>(raw.compression_method);
  info.dosDateTime = static_cast<uint32_t>(raw.dosDate);
  info.crc32 = static_cast<uint32_t>(raw.crc);
  info.compressedSize = static_cast<uint32_t>(raw.compressed_size);
  info.uncompressedSize = static_cast<uint32_t>(raw.uncompressed_size);
  info.internalAttributes = static_cast<uint32_t>(raw.internal_fa);
  info.externalAttributes = static_cast<uint32_t>(raw.external_fa);
  info.isFolder = (info.externalAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return true;
}

bool Unzipper::ExtractEntry(const char* folder) {
  if (!archive) return false;
  const std::string base = folder ? folder : outputFolder;
  if (!EnsureFolder(base.c_str())) return false;

  UnzipEntryInfo info;
  if (!ReadEntryInfo(info)) return false;
  if (!halvora::zip::IsSafeEntryName(info.fileName)) return false;
  const std::string target = halvora::zip::JoinEntryPath(base, info.fileName);
  if (target.size() >= kPathArea) return false;

  // Some archivers mark folders only by the trailing separator.
  if (info.isFolder || halvora::zip::EndsWithSeparator(info.fileName)) {
    return EnsureFolder(target.c_str());
  }
  // minizip reads an entry of a method it cannot decode as raw bytes and then
  // skips the checksum: such an entry would be written still compressed.
  if (info.compressionMethod != kStored && info.compressionMethod != Z_DEFLATED) return false;
  if (!EnsureParentFolder(target.c_str())) return false;

  MakeReplaceable(target.c_str());
  halvora::win::FileHandle file(CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  const bool whole = CopyCurrentEntry(archive, file.Get());
  file.Reset();
  // A partial or corrupt file must not be taken for the package's file.
  if (!whole) {
    DeleteFileA(target.c_str());
    return false;
  }
  ApplyEntryTime(target.c_str(), info.dosDateTime);
  SetFileAttributesA(target.c_str(), halvora::zip::SettableFileAttributes(info.externalAttributes));
  return true;
}

bool Unzipper::EnsureFolder(const char* path) {
  return path && EnsureDriveFolder(halvora::AnsiToWide(path));
}

bool Unzipper::EnsureParentFolder(const char* path) {
  if (!path) return false;
  const std::wstring wide = halvora::AnsiToWide(path);
  const size_t last = wide.rfind(L'\\');
  return last != std::wstring::npos && EnsureDriveFolder(wide.substr(0, last));
}

bool Unzipper::ApplyEntryTime(const char* path, uint32_t dosDateTime) {
  halvora::win::FileHandle file(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  FILETIME creation, access, lastWrite, local, utc;
  if (!GetFileTime(file.Get(), &creation, &access, &lastWrite)) return false;
  if (!DosDateTimeToFileTime(HIWORD(dosDateTime), LOWORD(dosDateTime), &local)) return false;
  if (!LocalFileTimeToFileTime(&local, &utc)) return false;
  return SetFileTime(file.Get(), &utc, &access, &utc) != FALSE;
}
