#include "memory/MemoryStatus.h"

#include <climits>

#include "resources/Texts.h"

namespace memory {

MEMORYSTATUS& Status() {
    static MEMORYSTATUS status{};
    return status;
}

namespace {

// "123.45" with the user's separator, from a count of hundredths.
std::wstring FormatHundredths(std::uint64_t hundredths, const NumberFormat& fmt) {
    std::wstring text = std::to_wstring(hundredths / 100);
    const auto fraction = static_cast<unsigned>(hundredths % 100);
    text += fmt.decimal;
    text += static_cast<wchar_t>(L'0' + fraction / 10);
    text += static_cast<wchar_t>(L'0' + fraction % 10);
    return text;
}

// numerator / denominator in hundredths, rounded half up (floor(2x) + 1, halved), in integers: floating
// point would round 69.995 % one way on one machine and the other way on the next.
std::uint64_t RoundedHundredths(std::uint64_t numerator, std::uint64_t denominator) {
    return denominator == 0 ? 0 : (numerator * 200 / denominator + 1) / 2;
}

}  // namespace

std::wstring FreePercentText(const MEMORYSTATUS& s, const NumberFormat& fmt) {
    return FormatHundredths(RoundedHundredths(s.dwAvailPhys * 100, s.dwTotalPhys), fmt) + L"%";
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
