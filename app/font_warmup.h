// Start-up spends most of its time reading the font configuration and its
// caches. A FontWarmUp does that on a thread of its own from the first line
// of main(), while the display connection, the instance lock and the icons
// are made; the framework then finds the configuration loaded.
#pragma once

#include <thread>

namespace vark {

class FontWarmUp {
  public:
    FontWarmUp();
    ~FontWarmUp();
    FontWarmUp(const FontWarmUp&) = delete;
    FontWarmUp& operator=(const FontWarmUp&) = delete;

  private:
    std::thread thread_;
};

// The first icon that the style loads from a file (the tool bar's extension
// button) makes the framework load every image-format plugin to probe it.
// An ImageFormatWarmUp loads them on a thread of its own while the instance
// lock and the first icons are made. Needs the QApplication.
class ImageFormatWarmUp {
  public:
    ImageFormatWarmUp();
    ~ImageFormatWarmUp();
    ImageFormatWarmUp(const ImageFormatWarmUp&) = delete;
    ImageFormatWarmUp& operator=(const ImageFormatWarmUp&) = delete;

  private:
    std::thread thread_;
};

}  // namespace vark
