#include "archive/uuid.h"

#include <cstdint>
#include <random>

namespace vark::archive {

std::string NewUuid(TimeMs now) {
    // One generator per thread, seeded from the system's entropy source.
    thread_local std::mt19937_64 random{[] {
        std::random_device device;
        std::seed_seq seq{device(), device(), device(), device()};
        return std::mt19937_64(seq);
    }()};
    std::uint8_t b[16];
    const auto ms = static_cast<std::uint64_t>(now);
    for (int i = 0; i < 6; ++i) {
        b[i] = static_cast<std::uint8_t>(ms >> (40 - 8 * i));
    }
    const std::uint64_t r1 = random();
    const std::uint64_t r2 = random();
    for (int i = 6; i < 16; ++i) {
        b[i] = static_cast<std::uint8_t>((i < 14 ? r1 >> (8 * (i - 6)) : r2 >> (8 * (i - 14))));
    }
    b[6] = static_cast<std::uint8_t>(0x70 | (b[6] & 0x0F));  // version 7
    b[8] = static_cast<std::uint8_t>(0x80 | (b[8] & 0x3F));  // RFC variant
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            out += '-';
        }
        out += kDigits[b[i] >> 4];
        out += kDigits[b[i] & 15];
    }
    return out;
}

bool LooksLikeUuid(std::string_view text) {
    if (text.size() != 36) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

}  // namespace vark::archive
