#include "arrange/Block.h"

#include <windows.h>

#include <algorithm>

namespace arrange {

namespace {

class VirtualMemoryAllocator final : public BlockAllocator {
public:
    void* Allocate(std::size_t bytes) noexcept override {
        return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    }
    void Free(void* block, std::size_t) noexcept override { VirtualFree(block, 0, MEM_RELEASE); }
};

}  // namespace

BlockAllocator& SystemAllocator() {
    static VirtualMemoryAllocator allocator;
    return allocator;
}

Block::Block(BlockAllocator& allocator) : allocator_(allocator) {
    data_ = static_cast<char16_t*>(allocator_.Allocate(kBlockBytes));
    if (!data_) return;
    // Every page is touched here, in this one step. The block goes on to the
    // allocator's Free, which the compiler cannot see through, so it can
    // neither drop nor shorten these writes.
    std::fill_n(data_, kBlockChars, u' ');
}

}  // namespace arrange
