#pragma once
// Where a JPEG file's picture ends: the marker segments are stepped over by
// their lengths and the entropy-coded data scanned for the next marker, up
// to the EOI marker. Registered beside the JPEG reader (ipi_extent.h).
#include "thumbctl/kernel/ipi_extent.h"

uint64_t JpegFileExtent(const IpiByteSource& src);
