// The Unicode GUI entry for the Windows ARM64 build (cmake/zig-aarch64/c++
// links it for -mwindows -municode): Zig 0.11's start-up calls WinMain, and
// the program defines wWinMain. It gets the command line after the program's
// name, as mingw-w64's Unicode start-up passes it.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR command_line, int show);

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR narrow_command_line, int show) {
    (void)narrow_command_line;
    LPWSTR tail = GetCommandLineW();
    // The program's name, quoted or not, then the blanks after it.
    int quoted = 0;
    while (*tail > L' ' || (*tail != L'\0' && quoted)) {
        if (*tail == L'"') quoted = !quoted;
        ++tail;
    }
    while (*tail != L'\0' && *tail <= L' ') ++tail;
    return wWinMain(instance, previous, tail, show);
}
