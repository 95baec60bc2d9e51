// The kernel's tables of file readers, decoders and page counters.
// To plug a codec in, include its header and add one line to a table
// (see ipi_registry.h for the contracts).
#include "thumbctl/kernel/ipi_registry.h"

#include "thumbctl/kernel/bitrun.h"
#include "thumbctl/kernel/bmp_codec.h"
#include "thumbctl/kernel/cgm.h"
#include "thumbctl/kernel/ccitt_decoder.h"
#include "thumbctl/kernel/gif_reader.h"
#include "thumbctl/kernel/ipi_import.h"
#include "thumbctl/kernel/jpeg_extent.h"
#include "thumbctl/kernel/jpeg_reader.h"
#include "thumbctl/kernel/kol1.h"
#include "thumbctl/kernel/pcx_reader.h"
#include "thumbctl/kernel/png_codec.h"
#include "thumbctl/kernel/png_reader.h"
#include "thumbctl/kernel/tiff_format.h"
#include "thumbctl/kernel/tiff_reader.h"

namespace {

// File readers by file format code.
const IpiReaderEntry kReaders[] = {
    {ipiFormatBmp, BmpReadBmp, BmpFileExtent},
    {ipiFormatDib, BmpReadDib, nullptr},
    {ipiFormatJpeg, JpegReadFile, JpegFileExtent},
    {ipiFormatPng, PngReadFile, PngFileExtent},
    {ipiFormatPcx, PcxReadFile, PcxFileExtent},
    {ipiFormatGif, GifReadFile, GifFileExtent},
    {ipiFormatTiff, TiffReadFile, tiff::FileExtent},
    {ipiFormatBilevel, Kol1ReadFile, nullptr},
    {ipiFormatCgmContainer, CgmContainerReadFile, CgmContainerExtent},
};

// Decoders by compression code.
const IpiDecoderEntry kDecoders[] = {
    {ipiCompressionBmpRle, BmpRleDecode},
    {ipiCompressionPackBits, PackBitsDecode},
    {ipiCompressionJpeg, JpegDecompress},
    {ipiCompressionPng, PngDecodePixels},
    {ipiCompressionPcxRle, PcxDecodeRle},
    {ipiCompressionCcittG3, CcittDecode},
    {ipiCompressionCcittG3_2D, CcittDecode},
    {ipiCompressionCcittG4, CcittDecode},
    {ipiCompressionCcittMH, CcittDecode},
    {ipiCompressionBilevelRun, BitStuffedRunDecode},
};

// Page counters of multi-image formats.
const IpiPageCounterEntry kPageCounters[] = {
    {ipiFormatTiff, TiffCountPages},
    {ipiFormatCgmContainer, CgmCountPages},
};

} // namespace

IpiReaderFn ipiFindReader(int fileFormat)
{
    for (const auto& e : kReaders)
        if (e.fileFormat == fileFormat) return e.read;
    return nullptr;
}

IpiExtentFn ipiFindExtent(int fileFormat)
{
    for (const auto& e : kReaders)
        if (e.fileFormat == fileFormat) return e.extent;
    return nullptr;
}

IpiDecoderFn ipiFindDecoder(int compression)
{
    for (const auto& e : kDecoders)
        if (e.compression == compression) return e.decode;
    return nullptr;
}

IpiPageCounterFn ipiFindPageCounter(int fileFormat)
{
    for (const auto& e : kPageCounters)
        if (e.fileFormat == fileFormat) return e.count;
    return nullptr;
}
