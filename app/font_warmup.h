// Start-up spends most of its time reading the font configuration and its
// caches. A FontWarmUp does that on a thread of its own from the first line
// of main(), while the display connection, the instance lock and the icons
// are made; the framework then finds the configuration loaded.
#pragma once

#include <thread>

namespace vark {

// Runs one piece of start-up work on a thread of its own; the object's end
// waits for it.
class WarmUp {
  public:
    explicit WarmUp(void (*work)()) : thread_(work) {}
    ~WarmUp() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    WarmUp(const WarmUp&) = delete;
    WarmUp& operator=(const WarmUp&) = delete;

  private:
    std::thread thread_;
};

class FontWarmUp : public WarmUp {
  public:
    FontWarmUp();
};

// The first icon that the style loads from a file (the tool bar's extension
// button) makes the framework load every image-format plugin to probe it.
// An ImageFormatWarmUp loads them on a thread of its own while the instance
// lock and the first icons are made. Needs the QApplication.
class ImageFormatWarmUp : public WarmUp {
  public:
    ImageFormatWarmUp();
};

}  // namespace vark
