#pragma once
// The application object: reads the configuration resources, lets one
// copy per application run, and runs the main dialog modally. The process
// lives exactly as long as that modal run.

#include <cstdint>
#include <string>

#include "app/install/publisher_pins.h"
#include "app/startup_config.h"
#include "base/win/scoped_handle.h"

class CHalvoraApp {
 public:
  CHalvoraApp() = default;
  CHalvoraApp(const CHalvoraApp&) = delete;
  CHalvoraApp& operator=(const CHalvoraApp&) = delete;

  // Start-up, the dialog's modal run included. Returns false in every case:
  // when it returns, the run is over and only ExitInstance remains.
  bool InitInstance();
  // Releases and closes the single-instance mutex when this copy holds it.
  // Returns the process exit code.
  int ExitInstance();

  // The application id from resource "APPID" (empty when there is none). The
  // narrow id is cached; the resource is read only while the cache is empty.
  std::wstring GetAppId();
  // The platform server from resource "SERVER_INFO", or the built-in default.
  halvora::ServerAddress GetServerAddress() const;
  // The publishers from resource "PUBLISHER": unpinned without one.
  halvora::PublisherPolicy GetPublisherPolicy() const;

 private:
  halvora::win::KernelHandle mutex;  // the single-instance mutex; null when not held
  std::string narrowAppId;
};
