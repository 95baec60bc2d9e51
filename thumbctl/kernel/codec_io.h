#pragma once
// Small helpers the JPEG, PNG, PCX and GIF readers share: the whole data of
// a source object as bytes, bytes into a target's store, and delivery of
// decoded rows into a destination object (band rows, or the bottom-up
// bitmap layout, 225).
#include "thumbctl/kernel/ipi_base.h"

#include <vector>

// All bytes of `object`'s store (at most `limit` bytes when limit >= 0).
// 0 or the kernel code recorded by the store.
int CodecReadAll(IPIENVIRONMENT* env, IPIOBJECT* object, int64_t limit, std::vector<uint8_t>* bytes);
// All bytes of `object`'s store (at most `limit` bytes when limit >= 0), read
// only: where a memory store holds them (caller memory, a workspace block)
// they are used where they lie, else they are read into a copy. The bytes
// stay valid while this lives.
class CodecSourceBytes {
public:
    CodecSourceBytes() = default;
    ~CodecSourceBytes();
    CodecSourceBytes(const CodecSourceBytes&) = delete;
    CodecSourceBytes& operator=(const CodecSourceBytes&) = delete;
    // 0 or the kernel code recorded by the store.
    int Open(IPIENVIRONMENT* env, IPIOBJECT* object, int64_t limit);
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    uint8_t operator[](size_t i) const { return data_[i]; }

private:
    IPIENVIRONMENT* env_ = nullptr;
    IPIACCESSOR* in_ = nullptr;
    std::vector<uint8_t> copy_;
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

// Replaces `object`'s data by `bytes` (compressed data of a reader) and sets
// its `size`.
int CodecWriteAll(IPIENVIRONMENT* env, IPIOBJECT* object, const uint8_t* bytes, int64_t n);
// Colour table into `lut` (when not null): entries of r, g, b triples
// (`count` of them given, the rest 0), stored as three planes.
int CodecWritePalette(IPIENVIRONMENT* env, IPIOBJECT* lut, int entries, const uint8_t* rgb, int count);

// Writes decoded rows into a destination object through one "w" accessor.
class CodecRowWriter {
public:
    CodecRowWriter(IPIENVIRONMENT* env, IPIOBJECT* destination);
    ~CodecRowWriter();
    int Open();  // 0 or the store's error
    int Close();
    bool BitmapLayout() const { return bitmap_; }
    int64_t Width() const { return x_; }
    int64_t Height() const { return y_; }
    int64_t Bands() const { return b_; }
    // One band row of 8-bit samples (`n` samples from x = 0).
    int PutBandRow(int64_t band, int64_t y, const uint8_t* samples, int64_t n);
    // One row of packed bits, most significant bit first.
    int PutBitRow(int64_t y, const uint8_t* bits, int64_t n);
    // Bitmap layout: one packed row of bytes written bottom-up at the DIB stride.
    int PutBitmapRow(int64_t y, const uint8_t* bytes, int64_t n);

private:
    IPIENVIRONMENT* env_;
    IPIOBJECT* obj_;
    IPIACCESSOR* out_ = nullptr;
    bool bitmap_ = false;
    int64_t x_ = 0, y_ = 0, b_ = 1, zt_ = 1;
    int64_t stride_ = 0;
    int order_ = 150;
};
