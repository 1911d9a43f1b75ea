#pragma once
// The platform client and the session user's data folder.

#include <string>

// True when the platform client's Start-menu shortcut (all users first, then
// the current user) leads to an existing program.
bool IsPlatformClientInstalled();

// True when the shortcut file exists, loads, names a file-system target and
// that target exists. A shortcut to a shell item without a path is false.
bool ShortcutTargetExists(const std::wstring& shortcutPath);

// The roaming application-data folder of the user logged on to this session
// (no trailing backslash); empty when the folder cannot be read.
std::wstring GetUserAppDataFolder();
