#include "app/session/session_view_win.h"

#include "ui/window.h"

void PostingSessionView::ShowProgress(float fraction) {
  progress = fraction;
  PostOnce(progressPending, kProgressChanged);
}

void PostingSessionView::ShowSpeed(double kbps) {
  speed = kbps;
  PostOnce(speedPending, kSpeedChanged);
}

void PostingSessionView::ShowPaused(bool paused) { window.PostWmApp(kPausePicture, paused); }

void PostingSessionView::ShowFinished() { window.PostWmApp(kDownloadFinished); }

void PostingSessionView::RedrawAll() { window.PostWmApp(kRedrawAll); }

float PostingSessionView::TakeProgress() {
  progressPending = false;
  return progress;
}

double PostingSessionView::TakeSpeed() {
  speedPending = false;
  return speed;
}

void PostingSessionView::PostOnce(std::atomic<bool>& pending, SessionMessage message) {
  // A post that fails (the window is gone) leaves the mark set: nothing is
  // shown any more anyway.
  if (!pending.exchange(true)) window.PostWmApp(message);
}
