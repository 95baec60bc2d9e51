#pragma once
// JPEG in the kernel: the file reader (format 235) and the codec entry that
// turns a compressed object (compression 114) into pixels and back.
#include "thumbctl/kernel/ipi_base.h"

enum : int { ipiDirectionCompress = 88, ipiDirectionDecompress = 109 };

// Reader (see ipi_registry.h): tables, frame and scan into `target`.
int JpegReadFile(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, int selector);
// Codec: direction 109 decodes `source` (compressed) into `destination`;
// 88 encodes the pixel image `source` into `destination` (compressed, its
// `quarityFactor`, `samplingFactor`, `bDimension`, `restartInterval` used).
int JpegCodec(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* destination, int direction);
// Decoder registered for compression 114 (JpegCodec with direction 109).
int JpegDecompress(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* destination);

// Decodes the whole JPEG stream `data` at 1 / `scale` (1, 2, 4 or 8) straight
// into the pixel rows of a bitmap of width x height (the picture's scaled
// size): `stride` bytes a row, bottom row first, blue, green, red (grey: one
// byte). Returns a kernel code, reported through `env`.
int JpegDecodeIntoBitmap(IPIENVIRONMENT* env, const uint8_t* data, int64_t size, int scale, uint8_t* pixels,
                         int64_t stride, int64_t width, int64_t height);
