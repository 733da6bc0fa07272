// A fast zlib-stream compressor for byte planes, written for the HDF5 export: the library's shuffle
// filter turns a chunk of values into planes (byte 0 of every value, then byte 1...), and event
// data planes are either nearly constant (the high bytes of times and coordinates), runs of one
// value (times shared by the events of one vector word, polarities) or close to noise (low bytes).
// Searching for earlier matches, as general deflate does, finds little there and costs most of
// the time; this coder only turns runs of one byte into matches at distance 1 and gives each plane
// its own Huffman codes (a plane that would not shrink is stored as it is). The result is an
// ordinary zlib stream (RFC 1950/1951), read back by any inflate (the library's deflate filter).
// Pure functions; safe on any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvane {

// The most bytes runDeflate writes for `n` bytes in planes of `plane` bytes.
size_t runDeflateBound(size_t n, size_t plane);

// Compresses in[0, n) into `out` (at least runDeflateBound(n, plane) bytes), one deflate block or
// more per `plane` bytes (the last may be shorter); returns the stream's size.
size_t runDeflate(const uint8_t* in, size_t n, size_t plane, uint8_t* out);

}  // namespace orvane
