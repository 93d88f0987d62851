// The block an arrangement claims: one allocation, every byte committed and
// written at once, released before the handler that claimed it returns.
#pragma once

#include <windows.h>

#include <cstddef>

namespace arrange {

// 70,000,000 UTF-16 spaces: 140,000,000 bytes.
inline constexpr std::size_t kBlockChars = 70'000'000;
inline constexpr std::size_t kBlockBytes = kBlockChars * sizeof(char16_t);

// Where the block's pages come from.
struct MemoryCalls {
    LPVOID(WINAPI* allocate)(LPVOID address, SIZE_T bytes, DWORD type, DWORD protect) = &VirtualAlloc;
    BOOL(WINAPI* free)(LPVOID address, SIZE_T bytes, DWORD type) = &VirtualFree;
};
MemoryCalls& Memory();  // the calls in use: the system's unless a test has stood its own in

class Block {
public:
    // Claims the block and fills it with spaces; Claimed() says whether it could.
    Block();
    ~Block() {
        if (data_) Memory().free(data_, 0, MEM_RELEASE);  // nothing to do should it fail
    }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;

    [[nodiscard]] bool Claimed() const { return data_ != nullptr; }

private:
    char16_t* data_ = nullptr;
};

}  // namespace arrange
