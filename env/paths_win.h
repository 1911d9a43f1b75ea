#pragma once
// Folder and path queries the environment checks share.

#include <string>

namespace halvora::env {

// The special folder (a CSIDL value) without trailing backslash; empty when
// it cannot be read. The folder is never created.
std::wstring ReadSpecialFolder(int csidl);

// True when the path names an existing file or folder. An empty path names
// nothing (it must not stand for the current folder).
bool PathExists(const std::wstring& path);

}  // namespace halvora::env
