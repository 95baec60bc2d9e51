#pragma once
// Reader of the "KOL1" bilevel raster (file format 215): a 27-byte
// big-endian header ("KOL1", data length, rows, flag word, markers, colour
// code, columns) followed by one-bit data in the bit-stuffed run code
// (compression 217, decoded by BitStuffedRunDecode in bitrun.h).
#include "thumbctl/kernel/ipi_base.h"

#include <cstddef>
#include <cstdint>

namespace kol1 {

constexpr int kHeaderBytes = 27;

struct Header {
    uint32_t dataLength = 0;
    uint16_t rows = 0;
    uint16_t columns = 0;
    uint8_t colourCode = 0;
};

// Checks the header's fields in file order; 0 or 22.
int ParseHeader(const uint8_t* bytes, size_t n, Header* header);

// Two-entry colour table (red, green, blue of entry 0, then of entry 1) of a
// colour code: entry 0 red for 241, blue for 242, green for 244, white for
// any other code; entry 1 always black.
void ColourTable(uint8_t colourCode, uint8_t rgb[6]);

} // namespace kol1

// Registered reader for 215 (see ipi_registry.h). Describes the picture on
// source and target, fills the target's `lut` with the two colours, and
// copies the compressed bytes unchanged into the target's store.
int Kol1ReadFile(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, int selector);
