#pragma once
// Everything a kernel codec needs: codes, environment, objects, stores,
// global memory, import/export, registry and DIB geometry.
#include "thumbctl/kernel/ipi_base.h"
#include "thumbctl/kernel/ipi_dib.h"
#include "thumbctl/kernel/ipi_env.h"
#include "thumbctl/kernel/ipi_import.h"
#include "thumbctl/kernel/ipi_memory.h"
#include "thumbctl/kernel/ipi_object.h"
#include "thumbctl/kernel/ipi_registry.h"
#include "thumbctl/kernel/ipi_store.h"
