#pragma once
// Registry of the kernel's file readers, decoders and page counters.
//
// HOW A CODEC PLUGS IN: write the function with one of the signatures below
// in your own file (e.g. tiff_reader.cpp), declare it in your header, and add
// ONE line for it to the matching table in kernel_registry.cpp. Nothing else
// in the kernel needs to change: ipiImportFile finds readers by file format
// code, ipiDecompress finds decoders by the source's compression code, and
// ipiOpenMultiImage* find page counters by file format code. A reader whose
// format marks its own end names the extent function beside it
// (ipi_extent.h): the decode entry points read and decode only that far.
//
// Reader contract (every format): `source` is an object whose data store
// holds the file's bytes (repository 83 file or 9 memory, `size` = byte
// count); the reader opens it with ipiOpenAccessor(env, source, "r", 1, 0, 0)
// and reads with ipiReadFileAt (bounded). It describes the picture on
// `target` (selector 0 or 172: attributes, and the colour table into the
// target's `lut` object when it has one) and writes the data into the
// target's store (selector 0 or 171). Compressed data is NOT expanded: it is
// copied as it stands into the target's store, the target's `compression`
// is set to the kernel code and `size` to the byte count; ipiDecompress then
// runs the decoder registered for that code. A CompositeIDArray target gets
// one page per element (start page `xMatchPoint`, `entries` pages).
// Returns 0 or a kernel error code, reported with ipiReportError.
//
// Decoder contract: `source` holds compressed bytes (`compression`, `size`,
// read them with ipiReadFileAt from offset 0); `target` is an uncompressed
// image object of the same shape (dimensions, dataType, dataPrecision,
// pixelInterpretation); the decoder writes the target's rows through a "w"
// accessor. Returns 0 or a kernel error code.
#include "thumbctl/kernel/ipi_base.h"
#include "thumbctl/kernel/ipi_extent.h"

typedef int (*IpiReaderFn)(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, int selector);
typedef int (*IpiDecoderFn)(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target);
// Page count of a multi-image file held in `source` (as for a reader);
// returns the count, 0 on failure with the error reported.
typedef int (*IpiPageCounterFn)(IPIENVIRONMENT* env, IPIOBJECT* source);

struct IpiReaderEntry {
    int fileFormat;
    IpiReaderFn read;
    IpiExtentFn extent;  // null: the picture runs to the end of the data
};
struct IpiDecoderEntry {
    int compression;
    IpiDecoderFn decode;
};
struct IpiPageCounterEntry {
    int fileFormat;
    IpiPageCounterFn count;
};

// Lookups (null when nothing is registered for the code).
IpiReaderFn ipiFindReader(int fileFormat);
IpiExtentFn ipiFindExtent(int fileFormat);
IpiDecoderFn ipiFindDecoder(int compression);
IpiPageCounterFn ipiFindPageCounter(int fileFormat);
