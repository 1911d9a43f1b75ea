#include "tools/refserver/catalog.h"

#include <fstream>
#include <sstream>
#include <system_error>

#include "app/service/request_ids.h"

namespace halvora::refserver {

namespace fs = std::filesystem;

namespace {

// Catalog files are small texts; anything larger is a mistake in the catalog.
constexpr std::uintmax_t kMaxAnswerFileBytes = 16u << 20;

std::optional<std::string> ReadSmallFile(const fs::path& path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec) || fs::file_size(path, ec) > kMaxAnswerFileBytes)
    return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in && !in.eof()) return std::nullopt;
  return text.str();
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

bool SafeName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("/\\") == std::string::npos && name.find('\0') == std::string::npos;
}

}  // namespace

Catalog::Catalog(fs::path root, std::string host, int port)
    : root_(std::move(root)), host_(std::move(host)), port_(port) {}

bool Catalog::Check(std::string& error) const {
  std::error_code ec;
  for (const char* sub : {"files", "apps"}) {
    if (!fs::is_directory(root_ / sub, ec)) {
      error = (root_ / sub).string() + " is not a folder";
      return false;
    }
  }
  return true;
}

std::optional<Answer> Catalog::AnswerFor(const RequestFields& fields, std::string& why) const {
  if (!fields.requestId) {
    why = "no RequestId";
    return std::nullopt;
  }
  if (!SafeName(fields.appId)) {
    why = "no usable application id";
    return std::nullopt;
  }
  const fs::path app = root_ / "apps" / fields.appId;
  Answer answer;
  std::optional<std::string> body;
  switch (*fields.requestId) {
    case halvora::service::kDescriptionRequestId:
      answer.name = "description";
      body = ReadSmallFile(app / "description.xml");
      break;
    case halvora::service::kFileSizeRequestId:
      answer.name = "filesize";
      body = ReadSmallFile(app / "filesize.xml");
      break;
    case halvora::service::kClientProgramRequestId:
      answer.name = "clientprogram";
      if (SafeName(fields.os)) body = ReadSmallFile(app / ("clientprogram-" + fields.os + ".xml"));
      if (!body) body = ReadSmallFile(app / "clientprogram.xml");
      break;
    default:
      why = "unknown RequestId " + std::to_string(*fields.requestId);
      return std::nullopt;
  }
  if (!body) {
    why = "catalog has no " + answer.name + " answer for " + fields.appId;
    return std::nullopt;
  }
  ReplaceAll(*body, "@HOST@", host_);
  ReplaceAll(*body, "@PORT@", std::to_string(port_));
  answer.body = std::move(*body);

  if (const auto list = ReadSmallFile(app / "gzip")) {
    std::istringstream names(*list);
    for (std::string name; names >> name;) answer.gzip |= name == answer.name;
  }
  return answer;
}

std::optional<fs::path> Catalog::FileFor(const std::string& urlPath) const {
  fs::path path = root_ / "files";
  std::istringstream segments(urlPath);
  bool any = false;
  for (std::string segment; std::getline(segments, segment, '/');) {
    if (segment.empty()) continue;
    if (!SafeName(segment)) return std::nullopt;
    path /= segment;
    any = true;
  }
  std::error_code ec;
  if (!any || !fs::is_regular_file(path, ec)) return std::nullopt;
  return path;
}

}  // namespace halvora::refserver
