// The start-up log ("vark.instance"): what start-up and the hand-over do.
// Quiet below warnings unless enabled with
// QT_LOGGING_RULES="vark.instance.info=true".
#pragma once

#include <QLoggingCategory>

namespace vark {

Q_DECLARE_LOGGING_CATEGORY(lcVarkInstance)

}  // namespace vark
