// SPDX-License-Identifier: MIT
// Reading the key folder: the common keys and the root's public key, each
// from a file of bytes or hexadecimal digits.
#include "cli/keys.h"

#include <cerrno>
#include <cstring>

#include "titlefiles/endian.h"

namespace {

// A key file holds the key's bytes, or twice as many hexadecimal digits
// (either case) and perhaps a line end (LF or CR LF).
constexpr std::size_t CommonKeyLength = OsAesKeyLength;
// The root's: its RSA-4096 modulus, perhaps followed by its exponent.
constexpr std::size_t RootExponentLength = 4;
constexpr std::size_t LongestKey = RootModulusLength + RootExponentLength;
constexpr std::size_t LongestKeyFile = 2 * LongestKey + 2;
constexpr char RootKeyName[] = "root.key";

int hexValue(std::uint8_t c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The key's bytes from a file's, as raw bytes or digits, into `out`
// (LongestKey bytes of room); returns their count, 0 when they are neither.
std::size_t keyBytes(const std::uint8_t* file, std::size_t n, std::uint8_t* out) {
    if (n <= LongestKey) {
        std::memcpy(out, file, n);
        if (n == CommonKeyLength || n == RootModulusLength || n == LongestKey)
            return n;
    }
    if (n > 0 && file[n - 1] == '\n')
        n -= n > 1 && file[n - 2] == '\r' ? 2 : 1;
    if (n % 2 != 0 || n / 2 > LongestKey)
        return 0;
    for (std::size_t i = 0; i < n / 2; ++i) {
        int high = hexValue(file[2 * i]);
        int low = hexValue(file[2 * i + 1]);
        if (high < 0 || low < 0)
            return 0;
        out[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return n / 2;
}

// The root's key: a modulus of its full length, and an exponent that is
// odd and at least 3 (65537 unless the file gives one).
bool takeRootKey(const std::uint8_t* bytes, std::size_t n, KeySet* keys) {
    if (n != RootModulusLength && n != LongestKey)
        return false;
    std::uint32_t exponent = n == LongestKey ? readBe32(ByteSpan(bytes, n), RootModulusLength) : DefaultRsaExponent;
    if (bytes[0] == 0 || exponent % 2 == 0 || exponent < 3)
        return false;
    std::memcpy(keys->rootModulus, bytes, RootModulusLength);
    keys->rootExponent = exponent;
    keys->rootPresent = true;
    return true;
}

PathChar* copyPath(const PathChar* path) {
    std::size_t n = 0;
    while (path[n] != 0)
        ++n;
    auto* copy = static_cast<PathChar*>(osAlloc((n + 1) * sizeof(PathChar)));
    if (copy != nullptr)
        std::memcpy(copy, path, (n + 1) * sizeof(PathChar));
    return copy;
}

// Reads one key file into `bytes`; Ok with `*n` 0 when it is not there.
KeyStatus readKeyFile(const PathChar* path, std::uint8_t* bytes, std::size_t* n, int* error) {
    *n = 0;
    OsFile file{};
    OsResult opened = osOpenRegular(path, &file);
    if (opened == OsAbsent)
        return KeyStatus::Ok;
    *error = file.error;
    if (opened != OsOk)
        return KeyStatus::FileUnreadable;
    std::int64_t length = osFileLength(&file);
    bool fits = length > 0 && length <= static_cast<std::int64_t>(LongestKeyFile);
    bool read = fits && osReadAt(&file, 0, bytes, static_cast<std::size_t>(length)) == OsOk;
    *error = file.error;
    osClose(&file);
    if (fits && !read)
        return KeyStatus::FileUnreadable;
    if (!fits)
        return KeyStatus::FileUnusable;
    *n = static_cast<std::size_t>(length);
    return KeyStatus::Ok;
}

// Reads and takes the key file `name` of `folder`.
KeyStatus readOneKey(const PathChar* folder, const char* name, int index, KeySet* keys, KeyProblem* problem) {
    PathChar* path = osPathInFolder(folder, name);
    if (path == nullptr)
        return KeyStatus::NoMemory;
    std::uint8_t file[LongestKeyFile];
    std::uint8_t key[LongestKey];
    std::size_t n = 0;
    KeyStatus status = readKeyFile(path, file, &n, &problem->osError);
    if (status == KeyStatus::Ok && n > 0) {
        std::size_t length = keyBytes(file, n, key);
        bool taken = index < 0 ? takeRootKey(key, length, keys) : length == CommonKeyLength;
        if (taken && index >= 0) {
            std::memcpy(keys->common[index], key, CommonKeyLength);
            keys->commonPresent[index] = true;
        }
        status = taken ? KeyStatus::Ok : KeyStatus::FileUnusable;
    }
    if (status != KeyStatus::Ok) {
        problem->where = path;
        problem->rootKey = index < 0;
    } else {
        osFree(path);
    }
    return status;
}

KeyStatus readKeyFolder(const PathChar* folder, KeySet* keys, KeyProblem* problem) {
    for (int i = 0; i < CommonKeyCount; ++i) {
        char name[16];
        std::strcpy(name, CommonKeyNames[i]);
        std::strcat(name, ".key");
        if (KeyStatus status = readOneKey(folder, name, i, keys, problem); status != KeyStatus::Ok)
            return status;
    }
    return readOneKey(folder, RootKeyName, -1, keys, problem);
}

}  // namespace

KeyStatus loadKeys(const PathChar* folder, KeySet* keys, KeyProblem* problem) {
    *keys = KeySet{};
    *problem = KeyProblem{};
    switch (osCryptoStart(problem->reason, sizeof problem->reason)) {
    case OsCryptoReady:
        break;
    case OsCryptoNotLoaded:
        return KeyStatus::NoCryptography;
    case OsCryptoUntrusted:
        return KeyStatus::UntrustedCryptography;
    }
    if (folder != nullptr) {
        problem->osError = osFolderError(folder);
        if (problem->osError == 0)
            return readKeyFolder(folder, keys, problem);
        problem->where = copyPath(folder);
        return problem->where != nullptr ? KeyStatus::FolderUnreadable : KeyStatus::NoMemory;
    }
    // The default folder need not exist; one that does is read as --keys names it.
    std::size_t length = osDefaultKeyFolder(nullptr, 0);
    if (length == 0)
        return KeyStatus::Ok;
    auto* defaultFolder = static_cast<PathChar*>(osAlloc((length + 1) * sizeof(PathChar)));
    if (defaultFolder == nullptr)
        return KeyStatus::NoMemory;
    osDefaultKeyFolder(defaultFolder, length + 1);
    problem->osError = osFolderError(defaultFolder);
    if (problem->osError != 0 && problem->osError != ENOENT) {
        problem->where = defaultFolder;
        return KeyStatus::FolderUnreadable;
    }
    KeyStatus status = problem->osError == 0 ? readKeyFolder(defaultFolder, keys, problem) : KeyStatus::Ok;
    osFree(defaultFolder);
    return status;
}
