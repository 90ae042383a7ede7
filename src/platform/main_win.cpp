// Process entry on Windows: the wide command line, with wildcards in file
// names expanded, since cmd.exe leaves that to the program.
#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <deque>
#include <string>
#include <vector>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "cli/driver.h"

// The MinGW run-time's own expansion stays off; the one below keeps options
// intact and sorts its matches.
extern "C" {
int _dowildcard = 0;
}

namespace {

bool isOption(const wchar_t* arg) {
    return arg[0] == L'/' || arg[0] == L'-';
}

// The names matching `pattern`, with the pattern's folder in front, sorted
// without regard to case, as Windows lists them.
std::vector<std::wstring> matchesOf(const wchar_t* pattern) {
    std::size_t folder = 0;
    for (std::size_t i = 0; pattern[i] != 0; ++i)
        if (pattern[i] == L'\\' || pattern[i] == L'/' || pattern[i] == L':')
            folder = i + 1;
    std::vector<std::wstring> matches;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return matches;
    do {
        if (std::wcscmp(found.cFileName, L".") != 0 && std::wcscmp(found.cFileName, L"..") != 0)
            matches.push_back(std::wstring(pattern, folder) + found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(matches.begin(), matches.end(),
              [](const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) < 0; });
    return matches;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Text mode, whatever the parent left: every "\n" goes out as CR LF.
    _setmode(_fileno(stdout), _O_TEXT);
    // Expanded names live here for the whole run (a deque never moves what it
    // holds); an argument without wildcards, an option, or a pattern that
    // matches nothing stays as typed.
    static std::deque<std::wstring> expanded;
    std::vector<wchar_t*> args(argv, argv + 1);
    for (int i = 1; i < argc; ++i) {
        std::vector<std::wstring> matches;
        if (!isOption(argv[i]) && std::wcspbrk(argv[i], L"*?") != nullptr)
            matches = matchesOf(argv[i]);
        if (matches.empty()) {
            args.push_back(argv[i]);
            continue;
        }
        for (std::wstring& m : matches) {
            expanded.push_back(std::move(m));
            args.push_back(expanded.back().data());
        }
    }
    args.push_back(nullptr);
    return runMain(static_cast<int>(args.size()) - 1, args.data());
}
