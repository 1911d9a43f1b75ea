#pragma once
// Helpers shared by the FTP protocol tests.

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "net/ftp/blocking_socket.h"
#include "net/ftp/ftp_client.h"
#include "tests/ftp/script_server.h"

namespace ftptest {

inline std::vector<Step> Steps(std::initializer_list<std::vector<Step>> parts) {
  std::vector<Step> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// The client lines a script expects, in order.
inline std::vector<std::string> ExpectedLines(const std::vector<Step>& script) {
  std::vector<std::string> lines;
  for (const Step& step : script)
    if (step.kind == Step::Kind::Expect) lines.push_back(step.text);
  return lines;
}

inline std::unique_ptr<nsFTP::CFTPClient> NewClient() {
  auto client = std::make_unique<nsFTP::CFTPClient>(std::make_unique<nsSocket::CBlockingSocket>());
  // Scripts answer at once; a client that waits longer is already wrong.
  client->timeoutSeconds = 3;
  return client;
}

inline nsFTP::FtpLogonInfo DirectLogon(const ScriptServer& server) {
  return nsFTP::FtpLogonInfo(L"127.0.0.1", server.Port(), L"u", L"p", L"");
}

// A fresh folder under the system's temporary folder, removed at the end.
class TempFolder {
 public:
  TempFolder() {
    static int counter = 0;
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
      path = base / ("halvora-ftp-" + std::to_string(std::random_device{}()) + "-" +
                     std::to_string(++counter));
      if (std::filesystem::create_directory(path)) break;
    }
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::filesystem::path path;
};

inline std::wstring Wide(const std::filesystem::path& path) { return path.wstring(); }

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace ftptest
