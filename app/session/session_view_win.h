#pragma once
// The session's view of the main dialog from the worker and monitor threads:
// every change becomes a WM_APP message that the dialog applies on its own
// thread. Progress and speed are coalesced: only the newest value is kept,
// and a message is posted only when none is pending, so a hundred updates a
// second never queue up behind a slow paint.

#include <windows.h>

#include <atomic>

#include "app/session/install_session.h"

namespace halvora::ui {
class CWindow;
}

// WM_APP + n messages of the main dialog.
enum SessionMessage : UINT {
  kDescribed,        // the platform answered; wParam: 1 described, 0 failed
  kProgressChanged,  // TakeProgress() has the newest value
  kSpeedChanged,     // TakeSpeed() has the newest value
  kPausePicture,     // wParam: 1 paused, 0 running
  kDownloadFinished,
  kRedrawAll,
  kHideWindow,
  kEndSession,
  kSignatureRefused,  // a setup program failed the publisher check: the notice, then the end
};

class PostingSessionView final : public SessionView {
 public:
  explicit PostingSessionView(const halvora::ui::CWindow& window) : window(window) {}

  void ShowProgress(float fraction) override;
  void ShowSpeed(double kbps) override;
  void ShowPaused(bool paused) override;
  void ShowFinished() override;
  void RedrawAll() override;

  // UI thread, on the matching message: the newest value. A value stored
  // after the take posts a message of its own.
  float TakeProgress();
  double TakeSpeed();

 private:
  void PostOnce(std::atomic<bool>& pending, SessionMessage message);

  const halvora::ui::CWindow& window;
  std::atomic<float> progress{0.0f};
  std::atomic<double> speed{0.0};
  std::atomic<bool> progressPending{false};
  std::atomic<bool> speedPending{false};
};
