#include "arrange/Block.h"

#include <algorithm>

namespace arrange {

MemoryCalls& Memory() {
    static MemoryCalls calls;
    return calls;
}

Block::Block()
    : data_(static_cast<char16_t*>(Memory().allocate(nullptr, kBlockBytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE))) {
    if (!data_) return;
    // Every page is touched here, in this one step. The block goes on to
    // VirtualFree through the table, a call the compiler cannot see through,
    // so it can neither drop nor shorten these writes.
    std::fill_n(data_, kBlockChars, u' ');
}

}  // namespace arrange
