// SHA-256 against the published test vectors (FIPS 180-2 appendix B and the
// NIST examples), fed whole and in every split.
#include <gtest/gtest.h>

#include <string>

#include "archive/sha256.h"

namespace vark::archive {
namespace {

std::string Hex(std::string_view bytes) {
    return ToHex(Sha256Of(bytes));
}

TEST(Sha256, PublishedVectors) {
    EXPECT_EQ(Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Hex("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopq"
                  "klmnopqrlmnopqrsmnopqrstnopqrstu"),
              "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
    EXPECT_EQ(Hex(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// Padding crosses into a second block from 56 bytes on: every length around
// the block edges must still hash as one piece.
TEST(Sha256, PiecesHashLikeTheWhole) {
    std::string text;
    for (int i = 0; i < 200; ++i) {
        text += static_cast<char>('a' + i % 26);
    }
    for (std::size_t length : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 128u, 200u}) {
        const std::string whole = text.substr(0, length);
        const auto expected = Sha256Of(whole);
        for (std::size_t cut = 0; cut <= length; cut += 7) {
            Sha256 h;
            h.Update(whole.substr(0, cut));
            h.Update(whole.substr(cut));
            EXPECT_EQ(h.Finish(), expected) << length << " cut at " << cut;
        }
        Sha256 bytes;
        for (const char c : whole) {
            bytes.Update(&c, 1);
        }
        EXPECT_EQ(bytes.Finish(), expected) << length << " byte by byte";
    }
}

}  // namespace
}  // namespace vark::archive
