#include "app/session/part_record.h"

#include <tinyxml.h>

#include <cerrno>
#include <cstdlib>

#include "base/xml_guard.h"

namespace {

constexpr halvora::XmlLimits kPartRecordLimits{kMaxPartRecordBytes, 2, 4};

}  // namespace

std::wstring PartRecordPath(const std::wstring& local) { return local + L".part.xml"; }

std::string FormatPartRecord(const PartRecord& record) {
  TiXmlElement part("part");
  part.SetAttribute("remote", record.remote.c_str());
  part.SetAttribute("size", std::to_string(record.size).c_str());
  part.SetAttribute("validator", record.validator.c_str());
  TiXmlPrinter printer;
  part.Accept(&printer);
  return printer.Str();
}

std::optional<PartRecord> ParsePartRecord(const std::string& text) {
  if (!halvora::XmlWithinLimits(text, kPartRecordLimits)) return std::nullopt;
  TiXmlDocument document;
  document.Parse(text.c_str(), nullptr, TIXML_ENCODING_LEGACY);
  const TiXmlElement* part = document.RootElement();
  if (document.Error() || !part || part->ValueStr() != "part") return std::nullopt;
  const char* remote = part->Attribute("remote");
  const char* size = part->Attribute("size");
  const char* validator = part->Attribute("validator");
  if (!remote || !size || !validator || *size < '0' || *size > '9') return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(size, &end, 10);
  if (errno != 0 || *end != '\0' || value > UINT32_MAX) return std::nullopt;
  return PartRecord{remote, static_cast<uint32_t>(value), validator};
}

bool PartialMayContinue(const std::optional<PartRecord>& record, const std::string& remote,
                        uint32_t remoteSize, const std::string& remoteValidator,
                        uint32_t localSize) {
  // Without a validator nothing tells that the bytes on disk belong to the
  // version the server has now.
  return record && remoteSize != 0 && !remoteValidator.empty() && localSize != 0 &&
         localSize < remoteSize && record->remote == remote && record->size == remoteSize &&
         record->validator == remoteValidator;
}
