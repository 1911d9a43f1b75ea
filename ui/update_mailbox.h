#pragma once
// What the worker and monitor threads ask of the window, handed to the UI
// thread. Each kind of update keeps only its newest value, and at most one
// wake-up is outstanding: the first update after the UI thread has taken the
// pending set calls `wake` (which posts a message to the window); later ones
// only replace values. So a monitor that updates a hundred times a second
// never queues messages behind a slow paint, and the UI thread applies the
// newest state when it gets round to it.

#include <atomic>
#include <cstdint>
#include <functional>
#include <utility>

namespace halvora::ui {

class UpdateMailbox {
 public:
  enum Kind : uint32_t {
    kProgress = 1u << 0,  // progress bar fraction
    kSpeed = 1u << 1,     // speed text, KB/s
    kPaused = 1u << 2,    // pause button picture: paused or running
    kFinished = 1u << 3,  // everything present: launch picture, full bar
    kRedraw = 1u << 4,    // redraw the whole window
  };

  struct Pending {
    uint32_t kinds = 0;
    float progress = 0.0f;
    double speedKbps = 0.0;
    bool paused = false;
    bool Has(uint32_t k) const { return (kinds & k) != 0; }
  };

  // `wake` runs on the updating thread; it must only post, never block.
  explicit UpdateMailbox(std::function<void()> wake) : wake_(std::move(wake)) {}

  void SetProgress(float fraction) {
    progress_.store(fraction, std::memory_order_relaxed);
    Mark(kProgress);
  }
  void SetSpeed(double kbps) {
    speed_.store(kbps, std::memory_order_relaxed);
    Mark(kSpeed);
  }
  void SetPaused(bool paused) {
    paused_.store(paused, std::memory_order_relaxed);
    Mark(kPaused);
  }
  void SetFinished() { Mark(kFinished); }
  void Redraw() { Mark(kRedraw); }

  // UI thread: everything updated since the last call, with the newest
  // values. An update that lands while this runs is either included or wakes
  // the UI thread again.
  Pending Take() {
    Pending p;
    p.kinds = pending_.exchange(0, std::memory_order_acquire);
    p.progress = progress_.load(std::memory_order_relaxed);
    p.speedKbps = speed_.load(std::memory_order_relaxed);
    p.paused = paused_.load(std::memory_order_relaxed);
    return p;
  }

 private:
  void Mark(Kind k) {
    if (pending_.fetch_or(k, std::memory_order_release) == 0) wake_();
  }

  std::function<void()> wake_;
  std::atomic<uint32_t> pending_{0};
  std::atomic<float> progress_{0.0f};
  std::atomic<double> speed_{0.0};
  std::atomic<bool> paused_{false};
};

}  // namespace halvora::ui
