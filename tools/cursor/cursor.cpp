// Prints the mouse cursor's screen position as "x y": the demo shows what each code did.
#include <windows.h>

#include <cstdio>

int wmain() {
    POINT p{};
    if (!GetCursorPos(&p)) {
        std::fprintf(stderr, "cursor: the position cannot be read (error %lu)\n", GetLastError());
        return 1;
    }
    std::printf("%ld %ld\n", p.x, p.y);
    return 0;
}
