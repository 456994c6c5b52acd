// File names between the system, which has bytes, and the window, which has
// text. A name that is not valid UTF-8 must still reach the file it names:
// each byte that is not part of a valid sequence becomes the lone surrogate
// U+DC80..U+DCFF and turns back into the same byte, so that decoding and
// encoding give every name back byte for byte (QFile::decodeName would
// replace such bytes with U+FFFD for good).
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace vark {

QString FileNameFromBytes(QByteArrayView bytes);
QByteArray FileNameToBytes(const QString& name);

}  // namespace vark
