#include "app/font_warmup.h"

#include <fontconfig/fontconfig.h>

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

namespace vark {

// Loading the configuration twice at once is safe: the library keeps the
// first and drops the other.
FontWarmUp::FontWarmUp() : WarmUp([] { FcInit(); }) {}

// Data no format claims by its name: the reader asks every plugin.
ImageFormatWarmUp::ImageFormatWarmUp()
    : WarmUp([] {
          QByteArray bytes("\x89PNG\r\n\x1a\n", 8);
          QBuffer buffer(&bytes);
          buffer.open(QIODevice::ReadOnly);
          QImageReader reader(&buffer);
          (void)reader.format();
      }) {}

}  // namespace vark
