// Building records by connection instead of by byte, for samples, the
// simulator and tests. Pins are 1-based as on the cable.
#pragma once

#include "records/record_block.h"

namespace vark {

class RecordBuilder {
  public:
    explicit RecordBuilder(int pins);

    RecordBuilder& Connect(int aPin, int bPin);  // side-A pin to side-B pin
    RecordBuilder& ToBGround(int aPin);          // side-A pin to B's ground
    RecordBuilder& AGroundTo(int bPin);          // A's ground to side-B pin
    RecordBuilder& Grounds();                    // A's ground to B's ground
    RecordBuilder& Straight();                   // A1-B1 .. An-Bn
    RecordBuilder& Reserved(std::uint8_t value);

    // The record with its checksum in byte 247.
    TestRecord Build() const;

  private:
    TestRecord rec_{};
};

// A block of typical cables: straight, crossed pair, open pin, short, grounds,
// a 40-pin harness, a record in error and an empty slot.
RecordBlock SampleBlock();

// A production run of one 10-pin harness with grounds: 20 records, mostly
// alike, with an open pin (test 005), a short (009), a crossed pair (013),
// open grounds (016), a record in error (018) and a 12-pin cable (020).
RecordBlock ProductionRunBlock();

}  // namespace vark
