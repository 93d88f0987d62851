#include "memory/MemoryStatus.h"

#include <climits>

#include "resources/Texts.h"

namespace memory {

MEMORYSTATUS& Status() {
    static MEMORYSTATUS status{};
    return status;
}

namespace {

// 128-bit arithmetic by hand: the 32-bit x86 compiler has no __int128.
struct Wide {
    std::uint64_t high, low;
};

Wide Multiply(std::uint64_t a, std::uint64_t b) {
    const std::uint64_t mask = 0xFFFFFFFFu;
    const std::uint64_t a0 = a & mask, a1 = a >> 32, b0 = b & mask, b1 = b >> 32;
    const std::uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
    const std::uint64_t middle = (p00 >> 32) + (p01 & mask) + (p10 & mask);
    return {p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32), (middle << 32) | (p00 & mask)};
}

// The low 64 bits of n / d, by long division one bit at a time.
std::uint64_t Divide(Wide n, std::uint64_t d) {
    std::uint64_t quotient = 0, remainder = 0;
    for (int bit = 127; bit >= 0; --bit) {
        const bool carry = (remainder >> 63) != 0;   // the shifted remainder needs 65 bits
        const std::uint64_t next = bit >= 64 ? n.high >> (bit - 64) : n.low >> bit;
        remainder = (remainder << 1) | (next & 1u);
        quotient <<= 1;
        if (carry || remainder >= d) {
            remainder -= d;
            quotient |= 1u;
        }
    }
    return quotient;
}

// "123.45" with the user's separator, from a count of hundredths.
std::wstring FormatHundredths(std::uint64_t hundredths, const NumberFormat& fmt) {
    std::wstring text = std::to_wstring(hundredths / 100);
    const auto fraction = static_cast<unsigned>(hundredths % 100);
    text += fmt.decimal;
    text += static_cast<wchar_t>(L'0' + fraction / 10);
    text += static_cast<wchar_t>(L'0' + fraction % 10);
    return text;
}

}  // namespace

std::uint64_t RoundedHundredths(std::uint64_t numerator, std::uint64_t denominator,
                                std::uint32_t scale) {
    if (denominator == 0) return 0;
    // 128 bits so that no real machine's counts can overflow the scaling;
    // floor(2x) + 1, halved, is x rounded half up.
    const Wide twice = Multiply(numerator, static_cast<std::uint64_t>(scale) * 200u);
    return (Divide(twice, denominator) + 1) / 2;
}

std::wstring FreePercentText(const MEMORYSTATUS& s, const NumberFormat& fmt) {
    return FormatHundredths(RoundedHundredths(s.dwAvailPhys, s.dwTotalPhys, 100), fmt) + L"%";
}

int WholePartOf(const std::wstring& percentText) {
    // The digits before the separator, whatever the separator is.
    int n = 0;
    for (wchar_t c : percentText) {
        if (c < L'0' || c > L'9') break;
        if (n > INT_MAX / 10 - 1) return INT_MAX;
        n = n * 10 + (c - L'0');
    }
    return n;
}

int FreePercentWhole(const MEMORYSTATUS& s, const NumberFormat& fmt) {
    return WholePartOf(FreePercentText(s, fmt));
}

std::uint32_t FreeColour(const MEMORYSTATUS& s, const NumberFormat& fmt) {
    const int n = FreePercentWhole(s, fmt);
    return n >= kPlentyThreshold ? kColourPlenty : n >= kMiddleThreshold ? kColourMiddle : kColourLittle;
}

std::wstring MegabyteText(std::uint64_t bytes, const NumberFormat& fmt) {
    return FormatHundredths(RoundedHundredths(bytes, kBytesPerMegabyte), fmt);
}

std::wstring MainLabelText(const MEMORYSTATUS& s, const NumberFormat& fmt) {
    return FreePercentText(s, fmt) + L"\n(" + MegabyteText(s.dwAvailPhys, fmt) +
           texts::kMegabyteUnit + L")";
}

std::wstring TrayTipText(const MEMORYSTATUS& s, const NumberFormat& fmt) {
    return std::wstring(texts::kProductName) + L"\n" + texts::kTipMemoryLabel +
           FreePercentText(s, fmt) + texts::kTipAvailable;
}

std::wstring MemoryDetailsText(const MEMORYSTATUS& s, const NumberFormat& fmt) {
    const auto line = [&fmt](const wchar_t* label, std::uint64_t bytes) {
        return L"\n\n" + (label + MegabyteText(bytes, fmt)) + texts::kMegabyteUnit;
    };
    return texts::kDetailsHeading + line(texts::kDetailsPhysical, s.dwTotalPhys) +
           line(texts::kDetailsVirtual, s.dwTotalVirtual) + line(texts::kDetailsPageFile, s.dwTotalPageFile);
}

int ProgressShift(std::uint64_t totalBytes) {
    int shift = 10;
    while ((totalBytes >> shift) > static_cast<std::uint64_t>(INT_MAX)) ++shift;
    return shift;
}

int ProgressUnits(std::uint64_t bytes, int shift) {
    const std::uint64_t units = bytes >> shift;
    return units > static_cast<std::uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(units);
}

}  // namespace memory
