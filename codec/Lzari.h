// LZARI: LZSS with an adaptive arithmetic coder (after Haruhiko Okumura's
// public-domain LZARI). The carried libraries are stored in this form: a
// 4-byte little-endian decoded length, then the coded stream.
//
// Platform-free: the program uses the decoder, the host-side packer and the
// tests use the encoder as well.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Decodes stored (length header + stream) into output. Refuses (returns
// false, *decodedLength 0) a stored form shorter than its header, a decoded
// length above outputCapacity, a stream that ends early, or a match that
// would run past the decoded length. A stream ends early when the decoder
// needs a bit beyond it: LzariEncode ends every stream with the bits the
// decoder reads ahead, so a stream cut by even one byte is refused. Never
// reads beyond stored + storedSize nor writes beyond output +
// outputCapacity; on success exactly *decodedLength bytes of output are
// written.
bool LzariDecode(const uint8_t* stored, size_t storedSize, uint8_t* output, size_t outputCapacity,
                 size_t* decodedLength);

// Encodes input into the stored form. Inputs of 4 GiB and more cannot be
// stored (the header has 32 bits) and return false.
bool LzariEncode(const uint8_t* input, size_t inputSize, std::vector<uint8_t>& stored);

// Bytes of the stored form's length header.
const size_t kLzariHeaderBytes = 4;
