#pragma once
// Unpacks a zip package below a folder: recreates its folders, writes each
// file, and gives it the stored modification time and attributes. Reading the
// format and inflating is minizip's work; this class decides where things go.
//
// Paths are narrow texts in the active ANSI code page; entry names are used as
// the bytes stored in the archive. Target folders must start with a drive
// letter. One object serves one archive at a time, on one thread.

#include <unzip.h>

#include <cstdint>
#include <string>

struct UnzipEntryInfo {
  std::string fileName;  // '/' already replaced by '\\'
  std::string comment;
  uint32_t versionMadeBy = 0;
  uint32_t versionNeeded = 0;
  uint32_t flags = 0;
  uint32_t compressionMethod = 0;
  uint32_t dosDateTime = 0;  // date in the high 16 bits, time in the low 16 bits
  uint32_t crc32 = 0;
  uint32_t compressedSize = 0;
  uint32_t uncompressedSize = 0;
  uint32_t internalAttributes = 0;
  uint32_t externalAttributes = 0;
  bool isFolder = false;  // directory attribute (0x10) set
};

class Unzipper {
 public:
  Unzipper() = default;
  virtual ~Unzipper();
  Unzipper(const Unzipper&) = delete;
  Unzipper& operator=(const Unzipper&) = delete;

  // Closes what was open, then opens the archive; on success the default
  // output folder is the archive's full path without its extension.
  bool OpenArchive(const char* path);
  void CloseArchive();
  const std::string& OutputFolder() const { return outputFolder; }

  // Extracts every entry below `folder` (the output folder when null). Stops
  // at the first entry that fails, keeping what was written before it. An
  // archive without entries is a failure.
  bool ExtractAll(const char* folder = nullptr);

  bool GoToFirstEntry();
  // Fails when no archive is open, minizip fails, or the name does not fit
  // the name area (it is never cut).
  bool ReadEntryInfo(UnzipEntryInfo& info);
  // Extracts the current entry. A name that would leave the folder or name a
  // device is refused, and so is an entry neither stored nor deflated. A file
  // whose data ends before its declared size, fails to inflate or does not
  // match its checksum is removed.
  bool ExtractEntry(const char* folder = nullptr);

  // Creates the folder and its missing parents; only drive-letter paths.
  bool EnsureFolder(const char* path);
  bool EnsureParentFolder(const char* path);
  // Sets creation and last-write time from a DOS date-time taken as local time.
  bool ApplyEntryTime(const char* path, uint32_t dosDateTime);

 private:
  unzFile archive = nullptr;
  std::string outputFolder;
};
