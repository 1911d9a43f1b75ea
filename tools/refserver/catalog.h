#pragma once
// The catalog folder the reference server plays its three roles from:
//
//   files/                      served as the file tree of the platform server,
//                               the data servers and the public file host
//   apps/<appId>/description.xml    answer to the description request (311)
//   apps/<appId>/filesize.xml       answer to the file-size request (-4)
//   apps/<appId>/clientprogram.xml  answer to the client-program request (-1);
//                                   clientprogram-32.xml / -64.xml win for that OS
//   apps/<appId>/gzip               optional: names of the answers sent
//                                   gzip-encoded ("description", "filesize",
//                                   "clientprogram"), separated by blanks
//
// In answers, "@HOST@" and "@PORT@" stand for the server's own address, so a
// description can name this server as the application's data server.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "tools/refserver/service_request.h"

namespace halvora::refserver {

struct Answer {
  std::string name;  // "description", "filesize" or "clientprogram"
  std::string body;
  bool gzip = false;
};

class Catalog {
 public:
  Catalog(std::filesystem::path root, std::string host, int port);

  // Checks that the folder holds files/ and apps/.
  bool Check(std::string& error) const;

  // The answer to a decoded request, or nothing with the reason in `why`.
  std::optional<Answer> AnswerFor(const RequestFields& fields, std::string& why) const;

  // The regular file below files/ that a decoded URL path names; nothing for
  // paths that leave the tree or name no file.
  std::optional<std::filesystem::path> FileFor(const std::string& urlPath) const;

 private:
  std::filesystem::path root_;
  std::string host_;
  int port_;
};

}  // namespace halvora::refserver
