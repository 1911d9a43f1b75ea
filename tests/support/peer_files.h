#pragma once
// Helpers for suites whose peer (a server started by a launcher script) hands
// them Unix paths and settings through the environment.

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace halvora::test {

inline std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// A Unix path as a Windows program under Wine sees it (drive Z: is the root).
inline std::string WinePath(const std::string& unixPath) {
  std::string path = "Z:" + unixPath;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

// A file in the empty folder the launcher made for the suite's own files.
inline std::string WorkFile(const std::string& name) {
  return WinePath(Env("HALVORA_TEST_WORKDIR")) + "\\" + name;
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), std::streamsize(bytes.size()));
}

}  // namespace halvora::test
