// SPDX-License-Identifier: MIT
// The status line: its counts, when it is drawn, and how it is erased.
#include "cli/progress.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/output.h"

namespace {

constexpr std::uint64_t FirstAfterMillis = 1000;
constexpr std::uint64_t RedrawMillis = 100;
constexpr std::size_t LineRoom = 128;
constexpr double Mebi = 1024.0 * 1024.0;
constexpr double Gibi = 1024.0 * Mebi;

struct Progress {
    bool on;
    bool walking;
    PathChar* const* args;
    int count;
    bool totalsTaken;
    unsigned files;  // named, when no walk finds more
    std::uint64_t bytes;
    unsigned done;
    std::uint64_t doneBytes;
    std::uint64_t start;
    std::uint64_t drawnAt;
    std::size_t shown;  // characters of it on the terminal; 0 when none
    char text[LineRoom];  // what is shown
};

Progress progress;

void writeDirect(const char* text, std::size_t n) {
    int error = 0;
    osWriteStderr(text, n, &error);
}

// Blanks what is shown and puts the cursor back where the line starts.
void erase() {
    if (progress.shown == 0)
        return;
    char blank[LineRoom + 2];
    std::size_t n = progress.shown;
    progress.shown = 0;
    blank[0] = '\r';
    std::memset(blank + 1, ' ', n);
    blank[n + 1] = '\r';
    writeDirect(blank, n + 2);
}

std::uint64_t lengthOf(const PathChar* name) {
    std::int64_t length = name[0] != 0 ? osLengthOf(name) : -1;
    return length > 0 ? static_cast<std::uint64_t>(length) : 0;
}

// The files named and their sizes, taken when the line is first drawn.
void takeTotals() {
    progress.totalsTaken = true;
    for (int i = 0; i < progress.count; ++i) {
        if (progress.args[i][0] == 0)
            continue;  // a blanked option, or an empty argument
        ++progress.files;
        progress.bytes += lengthOf(progress.args[i]);
    }
}

// "Verifying 37 of 1204 files, 12.3 of 40.1 GiB", or while a walk is
// finding files "Verifying 37 files, 12.3 GiB"; below 1 GiB in MiB.
std::size_t format(char* line, std::size_t room) {
    std::uint64_t scale = progress.walking ? progress.doneBytes : progress.bytes;
    double unit = scale >= static_cast<std::uint64_t>(Gibi) ? Gibi : Mebi;
    const char* name = unit == Gibi ? "GiB" : "MiB";
    int n = progress.walking
                ? std::snprintf(line, room, "Verifying %u files, %.1f %s", progress.done,
                                static_cast<double>(progress.doneBytes) / unit, name)
                : std::snprintf(line, room, "Verifying %u of %u files, %.1f of %.1f %s", progress.done, progress.files,
                                static_cast<double>(progress.doneBytes) / unit, static_cast<double>(progress.bytes) / unit,
                                name);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

// Draws the line over what is shown (blanked first, in the same write),
// cut to the terminal's width.
void draw(std::uint64_t now) {
    if (!progress.totalsTaken && !progress.walking)
        takeTotals();
    char text[LineRoom];
    std::size_t n = std::min(format(text, sizeof text), sizeof text - 1);
    int columns = osStderrColumns();
    if (columns > 1 && n > static_cast<std::size_t>(columns - 1))
        n = static_cast<std::size_t>(columns - 1);
    if (progress.shown == n && std::memcmp(progress.text, text, n) == 0)
        return;  // as it is shown
    char line[2 * LineRoom + 2];
    std::size_t at = 0;
    line[at++] = '\r';
    if (progress.shown > 0) {
        std::memset(line + at, ' ', progress.shown);
        at += progress.shown;
        line[at++] = '\r';
    }
    std::memcpy(line + at, text, n);
    std::memcpy(progress.text, text, n);
    progress.drawnAt = now;
    progress.shown = n;
    writeDirect(line, at + n);
}

}  // namespace

void startProgress(bool on, PathChar* const* args, int count, bool walking) {
    progress = Progress{};
    progress.on = on;
    if (!on)
        return;
    progress.args = args;
    progress.count = count;
    progress.walking = walking;
    progress.start = osClockMillis();
    outBeforeWrite(erase);
}

void progressReported(const PathChar* name) {
    if (!progress.on)
        return;
    ++progress.done;
    progress.doneBytes += lengthOf(name);
}

void progressTick() {
    if (!progress.on)
        return;
    std::uint64_t now = osClockMillis();
    if (now - progress.start < FirstAfterMillis || (progress.drawnAt != 0 && now - progress.drawnAt < RedrawMillis))
        return;
    draw(now);
}

void endProgress() {
    if (!progress.on)
        return;
    erase();
    outBeforeWrite(nullptr);
    progress.on = false;
}
