// The Unicode console entry for the Windows ARM64 build (cmake/zig-aarch64/c++
// links it for -municode without -mwindows): Zig 0.11's start-up calls main,
// and the program defines wmain. The wide arguments come from msvcrt, as
// mingw-w64's Unicode start-up takes them.
#include <wchar.h>

typedef struct {
    int newmode;
} StartupInfo;

__declspec(dllimport) int __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** env, int expand_wildcards,
                                         StartupInfo* info);
int wmain(int argc, wchar_t** argv, wchar_t** env);

int main(void) {
    int argc = 0;
    wchar_t** argv = 0;
    wchar_t** env = 0;
    StartupInfo info = {0};
    if (__wgetmainargs(&argc, &argv, &env, 0, &info) < 0) return 255;
    return wmain(argc, argv, env);
}
