#pragma once
// Image kernel: codes, limits and the attribute pair shared by every part of
// the kernel. Plain C++17, no platform headers.
//
// Every kernel operation returns an int code: 0 success, -1 system error
// (allocation or file system, message from strerror), 1..26 the kernel
// errors below. Codecs report an error with ipiReportError(env, code) and
// return the same code (see ipi_env.h).
#include <cstddef>
#include <cstdint>

// A value in an attribute list: an integer, a code, or a pointer (tables,
// strings, handles, objects). Wide enough for a pointer.
typedef intptr_t IPIVALUE;

// One (name, value) pair. Lists are plain arrays with a separate count.
// For setting, `value` is the value itself; for getting, `value` is the
// address of an IPIVALUE variable that receives the attribute.
struct IPIATTRIBUTE {
    const char* name;
    IPIVALUE value;
};

struct IPIENVIRONMENT;
struct IPIOBJECT;
struct IPICLASS;
struct IPISTORE;
struct IPIACCESSOR;

// ---- error codes ------------------------------------------------------
enum IpiError : int {
    ipiErrSystem = -1,
    ipiErrNone = 0,
    ipiErrClosureFailure = 1,
    ipiErrDivisionByZero = 2,
    ipiErrExceedImplementation = 3,
    ipiErrIllegalConversion = 4,
    ipiErrIncorrectDataType = 5,
    ipiErrIncorrectObjectClass = 6,
    ipiErrInitializationFailure = 7,
    ipiErrInsufficientSize = 8,
    ipiErrInvalidInstance = 9,
    ipiErrMismatchDataType = 10,
    ipiErrMismatchObjectClass = 11,
    ipiErrNonPermissibleOption = 12,
    ipiErrNotBlockMultiple = 13,
    ipiErrNotPositive = 14,
    ipiErrNotPositiveEven = 15,
    ipiErrNotPositiveOdd = 16,
    ipiErrNotPowerOfTwo = 17,
    ipiErrOutOfRange = 18,
    ipiErrSemanticalError = 19,
    ipiErrStateClosed = 20,
    ipiErrStateOpen = 21,
    ipiErrSyntacticalError = 22,
    ipiErrBoundsReversed = 23,
    ipiErrInvalidHandle = 24,
    ipiErrFileOpenFailure = 25,
    ipiErrFileNotFound = 26,
    ipiErrUnknownFormat = -100,  // decode entry points: bad format code or argument
};

// Message text of a kernel code (0..26); nullptr for other codes.
const char* ipiErrorText(int code);

// ---- file formats (object attribute `fileFormat`) ----------------------
enum IpiFileFormat : int {
    ipiFormatNone = 0,
    ipiFormatGif = 92,
    ipiFormatTiff = 207,
    ipiFormatBilevel = 215,
    ipiFormatCgmContainer = 216,
    ipiFormatBmp = 225,
    ipiFormatJpeg = 235,
    ipiFormatInvertedPackBits = 241,
    ipiFormatPcx = 246,
    ipiFormatDib = 255,
    ipiFormatPng = 259,
    ipiFormatDibHeader = 271,
};

// ---- compressions (object attribute `compression`) ---------------------
enum IpiCompression : int {
    ipiCompressionNone = 0,
    ipiCompressionCcittG3 = 80,
    ipiCompressionCcittG3_2D = 81,
    ipiCompressionCcittG4 = 82,
    ipiCompressionCcittMH = 90,
    ipiCompressionJpeg = 114,
    ipiCompressionLzw = 136,
    ipiCompressionPackBits = 156,
    ipiCompressionBilevelRun = 217,
    ipiCompressionBmpRle = 234,
    ipiCompressionPcxRle = 247,
    ipiCompressionPng = 264,
};

// ---- data types (`dataType`) -------------------------------------------
enum IpiDataType : int {
    ipiTypeBoolean = 18,      // bits, packed 8 to a byte in `bitOrder`
    ipiTypeComplex = 35,
    ipiTypeNonNegative = 153, // below 8 bits still one byte per sample
    ipiTypeReal = 161,
    ipiTypeSigned = 174,
    ipiTypeIdentifier = 175,  // 32-bit values
};

// ---- repositories (`repository`) ---------------------------------------
enum IpiRepository : int {
    ipiRepositoryApplication = 9,  // caller memory at `applicationAddressSpace`, bounded by `size`
    ipiRepositoryFile = 83,        // file `fileName` (a temporary "ipi" file when none is given)
    ipiRepositoryWorkspace = 223,  // kernel global-memory block
};

// ---- misc codes --------------------------------------------------------
enum : int {
    ipiOrderLsbFirst = 135,
    ipiOrderMsbFirst = 150,
    ipiStateOpen = 155,
    ipiStateClosed = 31,
    ipiEnvironmentMagic = 0x49504900,
    ipiBitmapLayout = 225,         // `pixelInterpretation`: bottom row first, B G R
    ipiPixelDefault = 222,
    ipiColourSpaceRgb = 121,
    ipiResolutionUnitMetre = 145,  // BMP resolution unit (pixels per metre)
    ipiResolutionUnitCm = 23,      // TIFF unit 3
    ipiPhotometricMinIsWhite = 222,
    ipiPhotometricMinIsBlack = 17,
    ipiPhotometricSeparated = 33,
    ipiPlanarContig = 248,
    ipiPlanarSeparate = 249,
};

// Reader selectors: 0 header and data, 172 header (attributes, colour
// table) only, 171 data only (attributes already in place).
enum IpiSelector : int {
    ipiSelectAll = 0,
    ipiSelectData = 171,
    ipiSelectHeader = 172,
};

// ---- limits against hostile input -------------------------------------
// Largest data store / global block / decoded image the kernel builds.
constexpr int64_t kIpiMaxBytes = int64_t(1) << 30;        // 1 GiB
// Largest width or height a reader accepts from a file header.
constexpr int64_t kIpiMaxDimension = 1 << 20;
// Largest table a reader allocates from a count read in a file
// (strip tables, directory entries, colour tables...).
constexpr int64_t kIpiMaxTableEntries = 1 << 22;
// Longest chain (directories, records, pages) a reader follows.
constexpr int kIpiMaxChain = 65536;
