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

Block::Block(BlockAllocator& allocator, std::size_t chars) : allocator_(allocator) {
    void* memory = allocator_.Allocate(chars * sizeof(char16_t));
    if (!memory) return;
    data_ = static_cast<char16_t*>(memory);
    chars_ = chars;
    // Every page is touched here, in this one step. The block goes on to the
    // allocator's Free, which the compiler cannot see through, so it can
    // neither drop nor shorten these writes.
    std::fill_n(data_, chars_, u' ');
}

void Block::Release() noexcept {
    if (!data_) return;
    allocator_.Free(data_, chars_ * sizeof(char16_t));
    data_ = nullptr;
    chars_ = 0;
}

}  // namespace arrange
