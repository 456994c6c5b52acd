// SHA-256 (FIPS 180-4) in plain C++: the fingerprint of a run's bytes, by
// which an import or a second upload of the same tester memory is known.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vark::archive {

class Sha256 {
  public:
    using Digest = std::array<std::uint8_t, 32>;

    Sha256();
    void Update(const void* data, std::size_t size);
    void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
    // Ends the hash; the object must not be updated afterwards.
    Digest Finish();

  private:
    void Block(const std::uint8_t* p);

    std::array<std::uint32_t, 8> h_;
    std::array<std::uint8_t, 64> buffer_{};
    std::size_t buffered_ = 0;
    std::uint64_t length_ = 0;  // bytes hashed so far
};

Sha256::Digest Sha256Of(std::string_view bytes);

// Lower-case hexadecimal, 64 characters.
std::string ToHex(const Sha256::Digest& digest);

}  // namespace vark::archive
