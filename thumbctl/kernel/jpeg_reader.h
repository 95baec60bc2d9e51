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
