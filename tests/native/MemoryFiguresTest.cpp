#include <gtest/gtest.h>

#include "memory/MemoryStatus.h"

namespace memory {
namespace {

const NumberFormat kPoint{L"."};
const NumberFormat kComma{L","};

MEMORYSTATUS WithPhys(std::uint64_t total, std::uint64_t avail) {
    MEMORYSTATUS s{};
    s.dwLength = sizeof s;
    s.dwTotalPhys = total;
    s.dwAvailPhys = avail;
    return s;
}

// The example machine: 256 MiB of memory with 115.84 MB free.
MEMORYSTATUS Example() {
    MEMORYSTATUS s = WithPhys(268'435'456, 121'470'976);
    s.dwTotalVirtual = 2'147'221'504;
    s.dwTotalPageFile = 644'245'504;
    return s;
}

TEST(WorkedExample, EveryFigureAndText) {
    const MEMORYSTATUS s = Example();
    EXPECT_EQ(FreePercentText(s, kPoint), L"45.25%");
    EXPECT_EQ(FreePercentWhole(s, kPoint), 45);
    EXPECT_EQ(FreeColour(s, kPoint), 0x000080FFu);
    EXPECT_EQ(MegabyteText(s.dwAvailPhys, kPoint), L"115.84");
    EXPECT_EQ(MainLabelText(s, kPoint), L"45.25%\n(115.84 MB)");
    const std::wstring tip = TrayTipText(s, kPoint);
    EXPECT_EQ(tip, L"岚石阁内存整理\n内存：45.25% 可用");
    EXPECT_EQ(tip.size(), 20u);
    EXPECT_EQ(MemoryDetailsText(s, kPoint),
              L"** 本机内存详细资料 **\n\n物理内存总量：256.00 MB\n\n虚拟内存总量：2047.75 MB\n\n"
              L"当前分页文件总量：614.40 MB");
}

TEST(WorkedExample, NoCarriageReturnAnywhere) {
    const MEMORYSTATUS s = Example();
    for (const std::wstring& text : {MainLabelText(s, kPoint), TrayTipText(s, kPoint), MemoryDetailsText(s, kPoint)}) {
        EXPECT_EQ(text.find(L'\r'), std::wstring::npos);
    }
}

TEST(FreePercent, RoundsBeforeTakingTheWholePart) {
    // 0.699996 shows 70.00%, so it counts as 70 and is green.
    const MEMORYSTATUS s = WithPhys(1'000'000, 699'996);
    EXPECT_EQ(FreePercentText(s, kPoint), L"70.00%");
    EXPECT_EQ(FreePercentWhole(s, kPoint), 70);
    EXPECT_EQ(FreeColour(s, kPoint), kColourPlenty);
}

TEST(FreePercent, ColourBandsAtTheirEdges) {
    struct Case { std::uint64_t avail; const wchar_t* text; int whole; std::uint32_t colour; };
    const Case cases[] = {
        {700'000, L"70.00%", 70, kColourPlenty},
        {699'900, L"69.99%", 69, kColourMiddle},
        {699'950, L"70.00%", 70, kColourPlenty},   // exactly half-way rounds up
        {699'949, L"69.99%", 69, kColourMiddle},
        {299'960, L"30.00%", 30, kColourMiddle},   // 0.29996
        {299'900, L"29.99%", 29, kColourLittle},
        {0, L"0.00%", 0, kColourLittle},
        {1'000'000, L"100.00%", 100, kColourPlenty},
        {50'000, L"5.00%", 5, kColourLittle},
        {50'700, L"5.07%", 5, kColourLittle},
    };
    for (const Case& c : cases) {
        const MEMORYSTATUS s = WithPhys(1'000'000, c.avail);
        EXPECT_EQ(FreePercentText(s, kPoint), c.text) << c.avail;
        EXPECT_EQ(FreePercentWhole(s, kPoint), c.whole) << c.avail;
        EXPECT_EQ(FreeColour(s, kPoint), c.colour) << c.avail;
    }
}

TEST(FreePercent, ZeroTotalShowsZeroInsteadOfFaulting) {
    const MEMORYSTATUS s = WithPhys(0, 0);
    EXPECT_EQ(FreePercentText(s, kPoint), L"0.00%");
    EXPECT_EQ(FreeColour(s, kPoint), kColourLittle);
    EXPECT_EQ(MainLabelText(s, kPoint), L"0.00%\n(0.00 MB)");
}

TEST(FreePercent, AllFreeShowsTheTotalInTheLabel) {
    const MEMORYSTATUS s = WithPhys(3'221'225'472, 3'221'225'472);
    EXPECT_EQ(MainLabelText(s, kPoint), L"100.00%\n(3072.00 MB)");
    EXPECT_EQ(FreePercentWhole(s, kPoint), 100);
}

TEST(LargeMachines, CountsAboveTwoAndFourGiBStayRight) {
    EXPECT_EQ(MegabyteText(2'147'483'648ull, kPoint), L"2048.00");
    EXPECT_EQ(MegabyteText(3'221'225'472ull, kPoint), L"3072.00");  // no digit grouping
    // 64 GiB with 40 GiB free: the old 32-bit record could show neither.
    const MEMORYSTATUS s = WithPhys(64ull << 30, 40ull << 30);
    EXPECT_EQ(FreePercentText(s, kPoint), L"62.50%");
    EXPECT_EQ(MainLabelText(s, kPoint), L"62.50%\n(40960.00 MB)");
}

TEST(LargeMachines, ExactUpToTheLargestCountSixtyFourBitsAllow) {
    // 2^64 / 20,000 bytes, about 838 TiB; the texts from Python's big integers.
    static_assert(kLargestExactCount == 922'337'203'685'477u);
    EXPECT_EQ(MainLabelText(WithPhys(kLargestExactCount, kLargestExactCount), kPoint), L"100.00%\n(879609302.22 MB)");
    EXPECT_EQ(FreePercentText(WithPhys(kLargestExactCount, 614'891'469'123'651), kPoint), L"66.67%");
}

TEST(Megabytes, RoundToHundredths) {
    EXPECT_EQ(MegabyteText(1'572'864, kPoint), L"1.50");
    EXPECT_EQ(MegabyteText(0, kPoint), L"0.00");
    EXPECT_EQ(MegabyteText(10'485, kPoint), L"0.01");   // 0.00999… rounds up
    EXPECT_EQ(MegabyteText(5'242, kPoint), L"0.00");    // 0.004999…
    EXPECT_EQ(MegabyteText(5'243, kPoint), L"0.01");    // 0.005000…
}

TEST(NumberFormat, CommaSeparatorEverywhere) {
    const MEMORYSTATUS s = Example();
    EXPECT_EQ(FreePercentText(s, kComma), L"45,25%");
    EXPECT_EQ(FreePercentWhole(s, kComma), 45);
    EXPECT_EQ(MainLabelText(s, kComma), L"45,25%\n(115,84 MB)");
    EXPECT_EQ(TrayTipText(s, kComma), L"岚石阁内存整理\n内存：45,25% 可用");
    EXPECT_EQ(MemoryDetailsText(s, kComma),
              L"** 本机内存详细资料 **\n\n物理内存总量：256,00 MB\n\n虚拟内存总量：2047,75 MB\n\n"
              L"当前分页文件总量：614,40 MB");
    // The whole part ignores the separator, as in "100,00%".
    EXPECT_EQ(FreePercentWhole(WithPhys(10, 10), kComma), 100);
    EXPECT_EQ(WholePartOf(L"7٫25%"), 7);
}

TEST(Progress, UnitsKeepTheShareAndFitThirtyTwoBits) {
    EXPECT_EQ(ProgressShift(24ull << 30), 10);                 // 24 GiB in whole KiB
    EXPECT_EQ(ProgressUnits(24ull << 30, 10), 24 << 20);
    const std::uint64_t total = 8ull << 40;                    // 8 TiB does not fit in KiB
    const int shift = ProgressShift(total);
    EXPECT_GT(shift, 10);
    EXPECT_LE(ProgressUnits(total, shift), INT32_MAX);
    EXPECT_EQ(ProgressUnits(total / 4, shift) * 4, ProgressUnits(total, shift));
}

}  // namespace
}  // namespace memory
