#include "docx/deflate_bit_writer.h"

#include "docx/deflate_format.h"

namespace morvel::deflate {

namespace {

// An empty non-final block with fixed codes: 10 bits.
void putEmptyFixedBlock(BitWriter& w) {
    w.put({0, 1});  // not the final block
    w.put({kFixedType, 2});
    w.put({0, 7});  // end of block: the fixed code 0000000
}

// An empty non-final block with codes of its own: 99 bits, an odd count that empty fixed
// blocks cannot make. Every code is complete, as strict decoders require: literal 0 and end
// of block take one bit each, and so do two distance codes.
void putEmptyDynamicBlock(BitWriter& w) {
    w.put({0, 1});
    w.put({kDynamicType, 2});
    w.put({0, 5});   // 257 literal/length codes
    w.put({1, 5});   // 2 distance codes
    w.put({15, 4});  // all 19 code-length code lengths follow
    // The code-length code: 18 (a run of zeros) in one bit, lengths 0 and 1 in two.
    for (const uint8_t symbol : kCodeLenOrder)
        w.put({symbol == 18 ? 1u : symbol <= 1 ? 2u : 0u, 3});
    const Bits lengthOne = huffman(3, 2);
    const Bits zeroRun = huffman(0, 1);
    w.put(lengthOne);  // literal 0
    w.put(zeroRun);
    w.put({138 - 11, 7});  // literals 1..138 unused
    w.put(zeroRun);
    w.put({117 - 11, 7});  // literals 139..255 unused
    w.put(lengthOne);      // end of block
    w.put(lengthOne);      // distance 0
    w.put(lengthOne);      // distance 1
    w.put(huffman(1, 1));  // end of block
}

}  // namespace

void putEmptyBlocksToBit(BitWriter& w, uint32_t residue) {
    // Fixed blocks (10 bits each) reach the even residues, the dynamic one (99 bits) with
    // them the odd ones.
    residue %= 8;
    uint32_t fixed = residue / 2;
    if (residue % 2 != 0) {
        putEmptyDynamicBlock(w);
        fixed = ((residue + 8 - 3) % 8) / 2;
    }
    for (uint32_t i = 0; i < fixed; ++i)
        putEmptyFixedBlock(w);
}

}  // namespace morvel::deflate
