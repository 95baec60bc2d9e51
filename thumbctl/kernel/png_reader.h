#pragma once
// PNG in the kernel: the file reader (format 259) and the pixel decoder
// registered for compression 264.
#include "thumbctl/kernel/ipi_base.h"

int PngReadFile(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, int selector);
int PngDecodePixels(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* destination);
