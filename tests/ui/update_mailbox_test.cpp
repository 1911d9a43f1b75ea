#include "ui/update_mailbox.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace halvora::ui {
namespace {

TEST(UpdateMailbox, OneWakeUpPerBurstAndTheNewestValueWins) {
  int wakes = 0;
  UpdateMailbox box([&] { ++wakes; });
  box.SetProgress(0.1f);
  box.SetProgress(0.2f);
  box.SetSpeed(12.5);
  box.SetPaused(true);
  box.SetPaused(false);  // a quick pause and resume: running wins
  EXPECT_EQ(wakes, 1);

  UpdateMailbox::Pending p = box.Take();
  EXPECT_TRUE(p.Has(UpdateMailbox::kProgress));
  EXPECT_TRUE(p.Has(UpdateMailbox::kSpeed));
  EXPECT_TRUE(p.Has(UpdateMailbox::kPaused));
  EXPECT_FALSE(p.Has(UpdateMailbox::kFinished));
  EXPECT_FALSE(p.Has(UpdateMailbox::kRedraw));
  EXPECT_EQ(p.progress, 0.2f);
  EXPECT_EQ(p.speedKbps, 12.5);
  EXPECT_FALSE(p.paused);

  EXPECT_EQ(box.Take().kinds, 0u);  // nothing new
  box.SetFinished();
  box.Redraw();
  EXPECT_EQ(wakes, 2);  // the first update after a take wakes again
  p = box.Take();
  EXPECT_EQ(p.kinds, UpdateMailbox::kFinished | UpdateMailbox::kRedraw);
}

// A monitor thread floods the mailbox while the UI thread drains it: every
// wake-up is answered, no update is lost at the end, and values only move
// forward.
TEST(UpdateMailbox, FloodFromAnotherThread) {
  std::mutex m;
  std::condition_variable cv;
  int wakes = 0;
  UpdateMailbox box([&] {
    std::lock_guard<std::mutex> lock(m);
    ++wakes;
    cv.notify_one();
  });
  constexpr int kUpdates = 20000;
  std::thread monitor([&] {
    for (int i = 1; i <= kUpdates; ++i) box.SetProgress(static_cast<float>(i) / kUpdates);
  });

  int takes = 0;
  float last = 0.0f;
  while (last < 1.0f) {
    {
      std::unique_lock<std::mutex> lock(m);
      cv.wait(lock, [&] { return wakes > takes; });
    }
    const UpdateMailbox::Pending p = box.Take();
    ++takes;
    if (p.Has(UpdateMailbox::kProgress)) {
      EXPECT_GE(p.progress, last);
      last = p.progress;
    }
  }
  monitor.join();
  EXPECT_EQ(last, 1.0f);
  std::lock_guard<std::mutex> lock(m);
  EXPECT_LE(wakes, takes + 1);
}

}  // namespace
}  // namespace halvora::ui
