// arrange_bench.exe: times the arrange window's tick (claim, write and
// release of the block, plus the caption it sets) next to a plain memset of a
// freshly allocated block of the same size, alternating the two so that both
// see the same machine. Prints one JSON line of milliseconds.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "arrange/ArrangeWindow.h"
#include "arrange/Block.h"
#include "resources/Texts.h"
#include "tests/bench/Clock.h"
#include "ui/toolkit/Form.h"
#include "ui/toolkit/Program.h"

namespace {

double TimeTick() {
    auto& w = arrange::Form3();
    w.Load();
    const double start = bench::NowMs();
    // The tick as the timer gives it; it stops the timer itself.
    SendMessageW(w.Hwnd(), WM_TIMER, arrange::ArrangeWindow::kTimerId, 0);
    const double ms = bench::NowMs() - start;
    wchar_t caption[64] = {};
    GetDlgItemTextW(w.Hwnd(), arrange::ArrangeWindow::Label1, caption, 64);
    if (lstrcmpW(caption, texts::kArrangeDone) != 0) {
        std::fprintf(stderr, "the block could not be claimed\n");
        std::exit(1);
    }
    arrange::Form3.Unload();
    return ms;
}

double TimeMemset() {
    const double start = bench::NowMs();
    void* block = std::malloc(arrange::kBlockBytes);
    if (!block) {
        std::fprintf(stderr, "malloc failed\n");
        std::exit(1);
    }
    std::memset(block, ' ', arrange::kBlockBytes);
    // Read one byte back through a volatile so the fill cannot be dropped.
    volatile unsigned char* p = static_cast<unsigned char*>(block);
    const unsigned char last = p[arrange::kBlockBytes - 1];
    std::free(block);
    const double ms = bench::NowMs() - start;
    if (last != ' ') std::exit(1);
    return ms;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int rounds = argc > 1 ? std::max(1, _wtoi(argv[1])) : 9;
    ui::Startup(GetModuleHandleW(nullptr), L"Local\\Lanshige.MemoryArrange.Bench");
    TimeTick();  // warm-up: fonts, window class, first-touch of the code
    TimeMemset();
    std::vector<double> ticks, fills;
    for (int i = 0; i < rounds; ++i) {
        ticks.push_back(TimeTick());
        fills.push_back(TimeMemset());
    }
    std::printf("{\"rounds\":%d,\"tick_ms_median\":%.1f,\"tick_ms_min\":%.1f,"
                "\"memset_ms_median\":%.1f,\"memset_ms_min\":%.1f,\"bytes\":%zu}\n",
                rounds, Median(ticks), *std::min_element(ticks.begin(), ticks.end()), Median(fills),
                *std::min_element(fills.begin(), fills.end()), arrange::kBlockBytes);
    return 0;
}
