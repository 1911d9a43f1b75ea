// hold-desktop: uses a Wine prefix's desktop until the prefix's server is
// stopped, so that no test program ever has to start it (why that matters:
// tests/support/with-wine-session, which starts it). Prints "ready" once the
// desktop is up, so the starter can wait for it.

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // The desktop window exists once explorer.exe has set it up.
  if (!GetDesktopWindow()) return 1;
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "ready\n", 6, &written, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}
