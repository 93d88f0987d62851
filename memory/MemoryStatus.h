// The machine's memory figures and every figure and text derived from them.
// Pure code: no Windows header, so it builds and is tested natively too.
#pragma once

#include <cstdint>
#include <string>

namespace memory {

// One snapshot of the machine's memory. The field names are those of the
// classic Win32 record, but every count is 64-bit: the 32-bit record caps or
// wraps its counts on machines with 4 GiB or more.
struct MEMORYSTATUS {
    std::uint64_t dwLength;         // size of this record, set before the first query
    std::uint64_t dwMemoryLoad;     // percentage of memory in use (not shown)
    std::uint64_t dwTotalPhys;      // physical memory, bytes
    std::uint64_t dwAvailPhys;      // available physical memory, bytes
    std::uint64_t dwTotalPageFile;  // commit limit, bytes
    std::uint64_t dwAvailPageFile;  // (not shown)
    std::uint64_t dwTotalVirtual;   // user-mode address space, bytes
    std::uint64_t dwAvailVirtual;   // (not shown)
};
static_assert(sizeof(MEMORYSTATUS) == 64);

// The program-wide snapshot: the main window sets its length once, only
// ReadMemoryStatus fills it, everyone else reads it.
MEMORYSTATUS& Status();

// How the user writes numbers. Only the decimal separator matters: the
// figures are never grouped in thousands.
struct NumberFormat {
    std::wstring decimal = L".";
};

// Colours are 0x00BBGGRR.
inline constexpr std::uint32_t kColourPlenty = 0x0000C000;  // green
inline constexpr std::uint32_t kColourMiddle = 0x000080FF;  // orange
inline constexpr std::uint32_t kColourLittle = 0x000000FF;  // red
inline constexpr int kPlentyThreshold = 70;
inline constexpr int kMiddleThreshold = 30;

inline constexpr std::uint64_t kBytesPerMegabyte = 1024 * 1024;

// The figures are exact in 64 bits up to this count (the free share scales it by 100 * 200): about
// 838 TiB, where Windows 10 and 11 address 6 TB at most and Server 2016 to 2022 24 TB.
inline constexpr std::uint64_t kLargestExactCount = UINT64_MAX / 20'000;

// P: available/total as "45.25%". A total of zero shows 0.00%.
std::wstring FreePercentText(const MEMORYSTATUS& s, const NumberFormat& fmt);

// n: the whole-number part of P, taken from P's text so that it is the
// integer part of the rounded value (0.699996 shows 70.00% and gives 70).
int FreePercentWhole(const MEMORYSTATUS& s, const NumberFormat& fmt);
int WholePartOf(const std::wstring& percentText);

// The colour band for n.
std::uint32_t FreeColour(const MEMORYSTATUS& s, const NumberFormat& fmt);

// M(x): bytes as megabytes with two decimals and no unit, "3072.00".
std::wstring MegabyteText(std::uint64_t bytes, const NumberFormat& fmt);

std::wstring MainLabelText(const MEMORYSTATUS& s, const NumberFormat& fmt);
std::wstring TrayTipText(const MEMORYSTATUS& s, const NumberFormat& fmt);
std::wstring MemoryDetailsText(const MEMORYSTATUS& s, const NumberFormat& fmt);

// The progress bar takes 32-bit signed limits. Byte counts are shifted right
// by this many bits (whole KiB at least) so that the total always fits and
// the filled share stays available/total.
int ProgressShift(std::uint64_t totalBytes);
int ProgressUnits(std::uint64_t bytes, int shift);

}  // namespace memory
