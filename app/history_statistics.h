// The History window's "Statistics" tab: the charts follow the runs list's
// filter, and a bar clicked narrows that filter. The charts read the same
// archive connection as the list, whichever it is after a reload.
#pragma once

namespace vark {

class HistoryWindow;

// Adds the tab to `history` (once); everything it makes is owned by it.
void AddStatisticsTab(HistoryWindow* history);

}  // namespace vark
