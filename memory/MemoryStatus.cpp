#include "memory/MemoryStatus.h"

#include <climits>

#include "resources/Texts.h"

namespace memory {

MEMORYSTATUS& Status() {
    static MEMORYSTATUS status{};
    return status;
}

std::uint64_t RoundedHundredths(std::uint64_t numerator, std::uint64_t denominator,
                                std::uint32_t scale) {
    if (denominator == 0) return 0;
    // 128-bit so that no real machine's counts can overflow the scaling;
    // floor(2x) + 1, halved, is x rounded half up.
    const unsigned __int128 twice = static_cast<unsigned __int128>(numerator) * scale * 200u;
    return static_cast<std::uint64_t>((twice / denominator + 1) / 2);
}

std::wstring FormatHundredths(std::uint64_t hundredths, const NumberFormat& fmt) {
    std::wstring text = std::to_wstring(hundredths / 100);
    const auto fraction = static_cast<unsigned>(hundredths % 100);
    text += fmt.decimal;
    text += static_cast<wchar_t>(L'0' + fraction / 10);
    text += static_cast<wchar_t>(L'0' + fraction % 10);
    return text;
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

std::uint32_t ColourForWhole(int n) {
    if (n >= kPlentyThreshold) return kColourPlenty;
    if (n >= kMiddleThreshold) return kColourMiddle;
    return kColourLittle;
}

std::uint32_t FreeColour(const MEMORYSTATUS& s, const NumberFormat& fmt) {
    return ColourForWhole(FreePercentWhole(s, fmt));
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
    std::wstring text = texts::kDetailsHeading;
    text += L"\n\n";
    text += texts::kDetailsPhysical + MegabyteText(s.dwTotalPhys, fmt) + texts::kMegabyteUnit;
    text += L"\n\n";
    text += texts::kDetailsVirtual + MegabyteText(s.dwTotalVirtual, fmt) + texts::kMegabyteUnit;
    text += L"\n\n";
    text += texts::kDetailsPageFile + MegabyteText(s.dwTotalPageFile, fmt) + texts::kMegabyteUnit;
    return text;
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
