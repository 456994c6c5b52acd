// The Print command: the block's report through the common print dialog on
// the chosen printer's GDI context.
#pragma once

#include <windows.h>

#include "records/record_block.h"

namespace vark::win {

void PrintBlock(HWND owner, const RecordBlock& block);

}  // namespace vark::win
