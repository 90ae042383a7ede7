// SPDX-License-Identifier: MIT
// The walk under /r: a stack of sorted listings, one a folder of the path.
#include "cli/walk.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "titlefiles/folder.h"

namespace {

// The endings of the files a walk reports, compared without regard to case.
constexpr const char* TitleEndings[] = {".wad", ".tik", ".tmd"};

std::size_t lengthOf(const PathChar* text) {
    std::size_t n = 0;
    while (text[n] != 0)
        ++n;
    return n;
}

PathChar lowerCase(PathChar c) {
    return c >= 'A' && c <= 'Z' ? static_cast<PathChar>(c - 'A' + 'a') : c;
}

bool endsAsTitle(const PathChar* name, std::size_t n) {
    for (const char* ending : TitleEndings) {
        std::size_t e = std::strlen(ending);
        bool same = n > e;
        for (std::size_t i = 0; same && i < e; ++i)
            same = lowerCase(name[n - e + i]) == static_cast<PathChar>(ending[i]);
        if (same)
            return true;
    }
    return false;
}

// Byte order of the names (UTF-16 code units on Windows).
bool nameBefore(const PathChar* a, const PathChar* b) {
    using Unit = std::make_unsigned_t<PathChar>;
    for (; *a != 0 && *a == *b; ++a, ++b) {
    }
    return static_cast<Unit>(*a) < static_cast<Unit>(*b);
}

// Makes room for `more` items of `size` bytes in a block of `*room` items
// holding `used`, at least doubling it; false when memory ran out.
bool grow(void** block, std::size_t* room, std::size_t used, std::size_t more, std::size_t size) {
    if (used + more <= *room)
        return true;
    std::size_t wanted = std::max(2 * *room, used + more);
    void* grown = osAlloc(wanted * size);
    if (grown == nullptr)
        return false;
    if (used > 0)
        std::memcpy(grown, *block, used * size);
    osFree(*block);
    *block = grown;
    *room = wanted;
    return true;
}

// A listing being made: its level, and whether memory ran out for it.
struct Listing {
    WalkLevel* level;
    unsigned* skipped;
    bool noMemory;
};

// Keeps a folder, or a file whose name ends as a title file's; counts
// every other entry as passed over.
bool keepEntry(void* context, const PathChar* entry, OsEntryKind kind) {
    auto* listing = static_cast<Listing*>(context);
    WalkLevel* level = listing->level;
    std::size_t n = lengthOf(entry);
    if (kind == OsEntryOther || (kind == OsEntryFile && !endsAsTitle(entry, n))) {
        ++*listing->skipped;
        return true;
    }
    void* names = level->names;
    void* entries = level->entries;
    bool grown = grow(&names, &level->room, level->used, n + 1, sizeof(PathChar)) &&
                 grow(&entries, &level->entryRoom, level->count, 1, sizeof(WalkEntry));
    level->names = static_cast<PathChar*>(names);
    level->entries = static_cast<WalkEntry*>(entries);
    if (!grown) {
        listing->noMemory = true;
        return false;
    }
    std::memcpy(level->names + level->used, entry, (n + 1) * sizeof(PathChar));
    level->entries[level->count++] = {level->used, kind == OsEntryFolder};
    level->used += n + 1;
    return true;
}

void releaseLevel(WalkLevel* level) {
    osFree(level->path);
    osFree(level->names);
    osFree(level->entries);
    *level = WalkLevel{};
}

// Lists the folder `path` as the next level, which then owns it: Title
// when it was listed; else the path stays the caller's.
WalkStep pushLevel(Walk* walk, PathChar* path, int* error) {
    void* levels = walk->levels;
    std::size_t room = static_cast<std::size_t>(walk->room);
    if (!grow(&levels, &room, static_cast<std::size_t>(walk->depth), 1, sizeof(WalkLevel)))
        return WalkStep::NoMemory;
    walk->levels = static_cast<WalkLevel*>(levels);
    walk->room = static_cast<int>(room);
    WalkLevel* level = &walk->levels[walk->depth];
    *level = WalkLevel{};
    Listing listing{level, &walk->skipped, false};
    if (osReadFolder(path, keepEntry, &listing, error) != OsOk || listing.noMemory) {
        releaseLevel(level);
        return listing.noMemory ? WalkStep::NoMemory : WalkStep::Unreadable;
    }
    const PathChar* names = level->names;
    std::sort(level->entries, level->entries + level->count,
              [names](const WalkEntry& a, const WalkEntry& b) { return nameBefore(names + a.name, names + b.name); });
    level->path = path;
    ++walk->depth;
    return WalkStep::Title;
}

}  // namespace

WalkStep startWalk(Walk* walk, const PathChar* root, int* error) {
    *walk = Walk{};
    std::size_t n = lengthOf(root);
    auto* path = static_cast<PathChar*>(osAlloc((n + 1) * sizeof(PathChar)));
    if (path == nullptr)
        return WalkStep::NoMemory;
    std::memcpy(path, root, (n + 1) * sizeof(PathChar));
    WalkStep step = pushLevel(walk, path, error);
    if (step != WalkStep::Title) {
        osFree(path);
        endWalk(walk);  // the levels' array, grown before the listing failed
    }
    return step;
}

WalkStep nextInWalk(Walk* walk, PathChar** path, int* error) {
    while (walk->depth > 0) {
        WalkLevel* level = &walk->levels[walk->depth - 1];
        if (level->next == level->count) {
            releaseLevel(level);
            --walk->depth;
            continue;
        }
        const WalkEntry& entry = level->entries[level->next++];
        *path = osPathJoin(level->path, level->names + entry.name);
        if (*path == nullptr)
            return WalkStep::NoMemory;
        // A title folder is one title; any other folder is walked into.
        FolderKind kind = entry.folder ? folderKind(*path) : FolderKind::Title;
        if (kind != FolderKind::Plain)
            return kind == FolderKind::Title ? WalkStep::Title : WalkStep::NoMemory;
        WalkStep pushed = pushLevel(walk, *path, error);
        if (pushed != WalkStep::Title)
            return pushed;
    }
    return WalkStep::End;
}

void endWalk(Walk* walk) {
    for (int i = 0; i < walk->depth; ++i)
        releaseLevel(&walk->levels[i]);
    osFree(walk->levels);
    *walk = Walk{};
}
