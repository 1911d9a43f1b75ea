#pragma once
// The data folder of the user logged on to the interactive session, which may
// differ from the account the process runs under.

#include <string>
#include <string_view>

// Replaces the third component of a profile path (C:\Users\alice\AppData\...
// -> C:\Users\bob\AppData\...). A path with fewer than three backslashes, one
// that does not start with a drive letter (a roaming folder on a share keeps
// its server's name), or an empty user name (the session could not be
// asked), leaves the path unchanged.
std::wstring ReplaceProfileFolder(std::wstring_view folder, std::wstring_view sessionUser);
