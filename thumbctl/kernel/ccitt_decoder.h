#pragma once
// Kernel decoder for the facsimile codings (compressions 80, 81, 82, 90):
// expands the compressed strips of `source` into the packed bit plane of
// `target`. Registered with ipiDecompress (see ipi_registry.h).
#include "thumbctl/kernel/ipi_base.h"

int CcittDecode(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target);
