// Every message box of the program goes through ShowMessage, so that all of
// them look alike (caption "VARK-u", OK only, no icon, modal to the window
// that reports) and tests can read and answer them without a real box.
#pragma once

#include <QString>
#include <functional>

#include "ui/link_texts.h"  // kMessageCaption, shared with vark-cli

class QWidget;

namespace vark {

// Shows `text` exactly as given (line breaks and runs of spaces kept) and
// returns the button pressed (QMessageBox::Ok).
int ShowMessage(QWidget* parent, const QString& text);

// While set, ShowMessage calls the interceptor instead of showing a box and
// returns its result. Returns the interceptor that was set before.
using MessageInterceptor = std::function<int(QWidget* parent, const QString& text)>;
MessageInterceptor SetMessageInterceptor(MessageInterceptor interceptor);

}  // namespace vark
