#pragma once
// What the session keeps beside a partial file so that a later run can
// continue it: where the file comes from, how long it is in full, and the
// server's validator for that version (an HTTP entity tag or modification
// date, an FTP modification time). A later run continues only the same
// version of the same file; anything else starts over, so an installed file
// is never spliced from two versions.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

struct PartRecord {
  std::string remote;  // the URL or FTP path, narrow as the transports send it
  uint32_t size = 0;
  std::string validator;
};

// A record is a few hundred bytes; a larger file is not one of ours.
inline constexpr size_t kMaxPartRecordBytes = 16 * 1024;

// The record of the partial file at `local`: "<local>.part.xml".
std::wstring PartRecordPath(const std::wstring& local);

std::string FormatPartRecord(const PartRecord& record);
// Nothing for a text that is not a complete record.
std::optional<PartRecord> ParsePartRecord(const std::string& text);

// True when a partial file of `localSize` bytes, described by `record`, may
// be continued against the remote file as the server describes it now.
bool PartialMayContinue(const std::optional<PartRecord>& record, const std::string& remote,
                        uint32_t remoteSize, const std::string& remoteValidator,
                        uint32_t localSize);
