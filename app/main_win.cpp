// halvora.exe: one stamped copy per published application.

#include <windows.h>

#include "app/halvora_app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  CHalvoraApp app;
  app.InitInstance();  // false in every case: the dialog's run is over
  return app.ExitInstance();
}
