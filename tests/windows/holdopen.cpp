// SPDX-License-Identifier: MIT
// Test helper for the Windows build: holds a file open for writing, the way
// an editor or a download in progress would, until its standard input ends.
//   holdopen FILE
#include <cstdio>

#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2)
        return 2;
    HANDLE file = CreateFileW(argv[1], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    std::printf("holding\n");
    std::fflush(stdout);
    char byte;
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &got, nullptr) && got > 0) {
    }
    CloseHandle(file);
    return 0;
}
