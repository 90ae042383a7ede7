// SPDX-License-Identifier: MIT
// Process entry on Windows: the wide command line, with wildcards in file
// names expanded, since cmd.exe leaves that to the program.
#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "cli/driver.h"

// The MinGW run-time's own expansion stays off; the one below keeps options
// intact, keeps only names that really match, and sorts them.
extern "C" {
int _dowildcard = 0;
}

namespace {

bool isOption(const wchar_t* arg) {
    return arg[0] == L'/' || arg[0] == L'-';
}

// Without regard to case by the ordinal rule the sort below uses, beyond
// ASCII too: "É*.tmd" finds é1.tmd.
bool sameLetter(wchar_t a, wchar_t b) {
    return a == b || CompareStringOrdinal(&a, 1, &b, 1, TRUE) == CSTR_EQUAL;
}

// Whether `name` matches `pattern` ('*' any run, '?' one character), without
// regard to case. As on Windows, a pattern ending in ".*" also matches a
// name without a dot.
bool globMatches(const wchar_t* pattern, const wchar_t* name) {
    const wchar_t* star = nullptr;
    const wchar_t* resume = nullptr;
    while (*name != 0) {
        if (*pattern == L'*') {
            star = pattern++;
            resume = name;
        } else if (*pattern != 0 && (*pattern == L'?' || sameLetter(*pattern, *name))) {
            ++pattern;
            ++name;
        } else if (star != nullptr) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == L'*')
        ++pattern;
    return *pattern == 0 || (pattern[0] == L'.' && pattern[1] == L'*' && pattern[2] == 0);
}

// The names matching `pattern`, with the pattern's folder in front, in the
// order Windows lists names: an ordinal comparison without regard to case.
// FindFirstFileW also matches 8.3 short names (so "*.wad" finds x.wadx);
// only names whose long form matches are kept. Folders are matched only
// when they are to be walked (/r); a title folder is otherwise named
// outright.
std::vector<std::wstring> matchesOf(const wchar_t* pattern, bool withFolders) {
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
        const wchar_t* name = found.cFileName;
        bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        bool dots = std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0;
        if ((!isFolder || (withFolders && !dots)) && globMatches(pattern + folder, name))
            matches.push_back(std::wstring(pattern, folder) + name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(matches.begin(), matches.end(), [](const std::wstring& a, const std::wstring& b) {
        return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_LESS_THAN;
    });
    return matches;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Text mode, whatever the parent left: every "\n" goes out as CR LF.
    _setmode(_fileno(stdout), _O_TEXT);
    // Expanded names live here for the whole run (a deque never moves what it
    // holds); an argument without wildcards, an option, or a pattern that
    // matches nothing stays as typed. Every expanded name is a file, even
    // one that starts with '-'.
    static std::deque<std::wstring> expanded;
    std::vector<wchar_t*> args(argv, argv + 1);
    std::vector<bool> fromPattern(1, false);
    bool withFolders = walksFolders(argc, argv);
    for (int i = 1; i < argc; ++i) {
        std::vector<std::wstring> matches;
        if (!isOption(argv[i]) && std::wcspbrk(argv[i], L"*?") != nullptr)
            matches = matchesOf(argv[i], withFolders);
        if (matches.empty()) {
            args.push_back(argv[i]);
            fromPattern.push_back(false);
            continue;
        }
        for (std::wstring& m : matches) {
            expanded.push_back(std::move(m));
            args.push_back(expanded.back().data());
            fromPattern.push_back(true);
        }
    }
    args.push_back(nullptr);
    std::unique_ptr<bool[]> marks(new bool[fromPattern.size()]);
    std::copy(fromPattern.begin(), fromPattern.end(), marks.get());
    osCatchInterrupts();
    return runMain(static_cast<int>(args.size()) - 1, args.data(), marks.get());
}
