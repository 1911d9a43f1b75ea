#pragma once
// The owner of a C standard I/O stream, closed when the owner goes. Where the
// close's result matters (a written file is only whole once fclose succeeds),
// take the stream back with release() and close it yourself.

#include <cstdio>
#include <memory>

namespace halvora {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using ScopedFile = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace halvora
