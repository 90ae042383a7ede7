// SPDX-License-Identifier: MIT
#include "cli/keys.h"

#include <cerrno>
#include <cstring>

#include "platform/crypto.h"

namespace {

// A key file: 16 raw bytes, or 32 hexadecimal digits and perhaps a line end.
constexpr std::size_t RawKeyLength = OsAesKeyLength;
constexpr std::size_t HexKeyLength = 2 * OsAesKeyLength;
constexpr std::size_t LongestKeyFile = HexKeyLength + 2;

int hexValue(std::uint8_t c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool parseKey(const std::uint8_t* bytes, std::size_t n, std::uint8_t key[OsAesKeyLength]) {
    if (n == RawKeyLength) {
        std::memcpy(key, bytes, RawKeyLength);
        return true;
    }
    bool lineEnd = (n == HexKeyLength + 1 && bytes[HexKeyLength] == '\n') ||
                   (n == HexKeyLength + 2 && bytes[HexKeyLength] == '\r' && bytes[HexKeyLength + 1] == '\n');
    if (n != HexKeyLength && !lineEnd)
        return false;
    for (std::size_t i = 0; i < OsAesKeyLength; ++i) {
        int high = hexValue(bytes[2 * i]);
        int low = hexValue(bytes[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        key[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return true;
}

// `folder`, a separator and `name`, into `out`; false when it does not fit.
bool joinPath(const PathChar* folder, const char* name, PathChar* out, std::size_t room) {
    std::size_t n = 0;
    for (; folder[n] != 0; ++n) {
        if (n + 1 >= room)
            return false;
        out[n] = folder[n];
    }
    const PathChar separator = OsSlashStartsPaths ? '/' : '\\';
    if (n > 0 && out[n - 1] != '/' && out[n - 1] != separator)
        out[n++] = separator;
    for (std::size_t i = 0; name[i] != 0; ++i, ++n) {
        if (n + 1 >= room)
            return false;
        out[n] = static_cast<PathChar>(name[i]);
    }
    out[n] = 0;
    return true;
}

KeyStatus readKeyFile(const PathChar* path, bool* present, std::uint8_t key[OsAesKeyLength]) {
    OsFile file{};
    if (osOpen(path, &file) != OsOk)
        return file.error == ENOENT ? KeyStatus::Ok : KeyStatus::FileUnreadable;
    std::uint8_t bytes[LongestKeyFile];
    std::int64_t length = osFileLength(&file);
    bool fits = length > 0 && length <= static_cast<std::int64_t>(LongestKeyFile);
    bool read = fits && osReadAt(&file, 0, bytes, static_cast<std::size_t>(length)) == OsOk;
    osClose(&file);
    if (fits && !read)
        return KeyStatus::FileUnreadable;
    if (!read || !parseKey(bytes, static_cast<std::size_t>(length), key))
        return KeyStatus::FileUnusable;
    *present = true;
    return KeyStatus::Ok;
}

}  // namespace

KeyStatus loadCommonKeys(const PathChar* folder, CommonKeys* keys, PathChar* where, std::size_t room) {
    *keys = CommonKeys{};
    if (!osCryptoReady())
        return KeyStatus::NoCryptography;
    PathChar defaultFolder[1024];
    if (folder == nullptr) {
        if (osDefaultKeyFolder(defaultFolder, sizeof defaultFolder / sizeof defaultFolder[0]) == 0)
            return KeyStatus::Ok;
        folder = defaultFolder;
    } else if (!osIsReadableFolder(folder)) {
        std::size_t n = 0;
        for (; folder[n] != 0 && n + 1 < room; ++n)
            where[n] = folder[n];
        where[n] = 0;
        return KeyStatus::FolderUnreadable;
    }
    for (int i = 0; i < CommonKeyCount; ++i) {
        char name[16];
        std::strcpy(name, CommonKeyNames[i]);
        std::strcat(name, ".key");
        if (!joinPath(folder, name, where, room))
            return KeyStatus::FolderUnreadable;
        if (KeyStatus status = readKeyFile(where, &keys->present[i], keys->key[i]); status != KeyStatus::Ok)
            return status;
    }
    return KeyStatus::Ok;
}
