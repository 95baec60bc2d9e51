#pragma once
/*
 * Strandel: reads and writes the 8-bit grey TIFF images of the measurement
 * system (phase images, masks, derived images) with their header text kept in
 * the private ASCII tag 32768 "CalverdineInf".
 *
 * Paths: a path without any '.' gets ".tif" appended; names of any length the
 * system allows are taken. Only regular files are read (a pipe or device is
 * refused as a file that cannot be opened, and never waited on), and only
 * those whose strips lie inside them and can hold the image: a damaged or
 * truncated strip table, a compressed strip whose bytes cannot decode to the
 * rows it declares, and a compression other than none, PackBits, LZW,
 * Deflate, JPEG, CCITT RLE, Group 3 and Group 4 count as a file that cannot be opened (the
 * size getters give 0), so its declared size is never used. A row that libtiff
 * cannot decode, or reports damage in (a strip that ends early, a bad code),
 * is a failed row.
 *
 * Texts returned by ReadTIFFFile, ReadTIFFFileSized and TestFun are
 * NUL-terminated, allocated with malloc and owned by the caller, who frees
 * them with free(). They are never NULL.
 *
 * Pixels are one row-major byte buffer of cols x rows bytes owned by the caller.
 *
 * Warnings and errors are written to standard error, never standard output
 * (a command-line caller's results stay apart from them).
 */
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define STRANDEL_EXPORT __attribute__((visibility("default")))

/* Status codes. */
#define STRANDEL_OK 0
#define STRANDEL_ERR_WRITE (-8)      /* a row could not be written */
#define STRANDEL_ERR_NOMEM (-11)     /* no memory for the row buffer */
#define STRANDEL_ERR_OPEN (-14)      /* cannot open or create the file */
#define STRANDEL_ERR_TOO_LARGE (-20) /* image larger than the caller's buffer */
#define STRANDEL_ERR_FORMAT (-21)    /* not a 1-, 4- or 8-bit one-sample grey/palette image */
#define STRANDEL_ERR_READ (-22)      /* a row could not be decoded */

/* ImageWidth / ImageLength of the first directory (low 16 bits); 0 when the
 * file cannot be opened as a TIFF or lacks the tag. */
STRANDEL_EXPORT uint16_t GetTIFFCols(const char* path);
STRANDEL_EXPORT uint16_t GetTIFFRows(const char* path);

/* Reads the pixels into a buffer of ImageWidth x ImageLength bytes and returns
 * the text of tag 32768 ("" when absent, " " when the file cannot be opened).
 * 1- and 4-bit samples are widened to one byte a pixel (raw sample values).
 * Files with more than one sample per pixel or other depths leave the buffer
 * untouched. The caller sizes the buffer from GetTIFFCols/GetTIFFRows. */
STRANDEL_EXPORT char* ReadTIFFFile(const char* path, uint8_t* pixels);

/* As ReadTIFFFile, but refuses an image larger than bufferBytes, and reports
 * what happened in *status (may be NULL): STRANDEL_OK, STRANDEL_ERR_OPEN,
 * STRANDEL_ERR_TOO_LARGE, STRANDEL_ERR_FORMAT or STRANDEL_ERR_READ. On any
 * error but STRANDEL_ERR_READ the buffer is untouched; with STRANDEL_ERR_READ
 * the rows before the first that failed are filled and no later row is. */
STRANDEL_EXPORT char* ReadTIFFFileSized(const char* path, uint8_t* pixels, size_t bufferBytes,
                                        int32_t* status);

/* As ReadTIFFFileSized, row by row into the caller's own storage, so that
 * memory grows only with the rows decoded: `size` is told the image's width
 * and length before any row (return 0 to refuse it: STRANDEL_ERR_TOO_LARGE),
 * then `row` gets each row top first, width bytes of one byte a pixel (return
 * 0 to stop: STRANDEL_ERR_NOMEM). The status is as for ReadTIFFFileSized;
 * with STRANDEL_ERR_READ the rows before the first that failed were given. */
typedef struct StrandelRowReader {
    void* context;
    int (*size)(void* context, uint32_t width, uint32_t length);
    int (*row)(void* context, uint32_t y, const uint8_t* pixels);
} StrandelRowReader;
STRANDEL_EXPORT char* ReadTIFFRows(const char* path, const StrandelRowReader* reader, int32_t* status);

/* Writes an uncompressed 8-bit min-is-black little-endian TIFF in strips of
 * 8 rows with the header text in tag 32768. Returns a STRANDEL_* status. */
STRANDEL_EXPORT int32_t WriteTIFFFile(const char* path, uint16_t cols, uint16_t rows, const char* info,
                                      const uint8_t* pixels);

/* Reads cols x rows raw bytes from the start of a regular file; nothing is checked. */
STRANDEL_EXPORT void ReadRawImage(const char* path, int16_t cols, int16_t rows, uint8_t* buffer);

/* Returns "test is passed". */
STRANDEL_EXPORT char* TestFun(void);

#ifdef __cplusplus
}
#endif
