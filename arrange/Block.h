// The block an arrangement claims: one allocation, every byte committed and
// written at once, released before the handler that claimed it returns.
#pragma once

#include <cstddef>

namespace arrange {

// 70,000,000 UTF-16 spaces: 140,000,000 bytes.
inline constexpr std::size_t kBlockChars = 70'000'000;
inline constexpr std::size_t kBlockBytes = kBlockChars * sizeof(char16_t);

// Where the block's memory comes from; tests put in one that fails or watches.
class BlockAllocator {
public:
    virtual ~BlockAllocator() = default;
    // Committed memory of that many bytes, or nullptr.
    virtual void* Allocate(std::size_t bytes) noexcept = 0;
    virtual void Free(void* block, std::size_t bytes) noexcept = 0;
};

// Committed pages straight from the system.
BlockAllocator& SystemAllocator();

class Block {
public:
    // Claims the block and fills it with spaces; Claimed() says whether it could.
    explicit Block(BlockAllocator& allocator);
    ~Block() {
        if (data_) allocator_.Free(data_, kBlockBytes);
    }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;

    [[nodiscard]] bool Claimed() const { return data_ != nullptr; }

private:
    BlockAllocator& allocator_;
    char16_t* data_ = nullptr;
};

}  // namespace arrange
