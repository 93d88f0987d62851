// The in-process tests run with the same start-up as the program, under
// their own instance name so a running copy of the program is no obstacle.
#include <gtest/gtest.h>

#include "ui/Toolkit.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ui::Startup(GetModuleHandleW(nullptr), L"Local\\Lanshige.MemoryArrange.InProcessTests");
    return RUN_ALL_TESTS();
}
