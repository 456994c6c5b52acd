// The registry's rules for a bridge's COM port, as the Windows bridge list
// applies them; declared for the Windows tests.
#pragma once

#include <cstdint>
#include <string>

namespace vark::win {

// The two key paths of a device under HKLM\SYSTEM\CurrentControlSet\Enum\USB\,
// composite form first. Spaces in the serial must already be "_".
std::string CompositeKeyPath(std::uint16_t vid, std::uint16_t pid, const std::string& serial);
std::string PlainKeyPath(std::uint16_t vid, std::uint16_t pid, const std::string& serial);

// The port number in a "PortName" value such as COM5: the first three
// characters are taken as letters and zeroed, the whole parsed as a decimal
// number up to the first non-digit, low 8 bits kept (COM300 gives 44). Values
// shorter than three characters give kComNotFound.
std::uint8_t ParsePortNumber(const std::string& value);

}  // namespace vark::win
