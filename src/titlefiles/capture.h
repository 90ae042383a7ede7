// SPDX-License-Identifier: MIT
// What a title file's report and verification need of its bytes, planned
// once from its first bytes and kept as the bytes arrive, however they
// arrive: a stream's reads of any size, a whole file read front to back
// for verification, or, for a report alone, the few reads of a regular
// file that fetch just the bytes planned. Memory stays bounded (a few MiB
// at most) however long the file is; the loader decodes from what is kept.
#pragma once

#include <cstddef>
#include <cstdint>

#include "titlefiles/classify.h"
#include "titlefiles/ranges.h"

// The ranges, by what they hold: the start of the file (a WAD's header and
// certificate chain and, in the usual layout, its ticket and TMD header;
// all of a short file), a WAD's ticket, the TMD header with its records,
// and the certificates after a bare ticket or TMD.
enum CaptureRole { StartBytes = 0, TicketBytes, TmdBytes, CertBytes, CaptureRoleCount };

struct Capture {
    bool verifying;       // keep the whole ticket and the certificates too
    bool lengthKnown;     // a regular file's length is known before it is read
    std::uint64_t length;  // the file's length when known, else the bytes seen so far
    std::uint64_t seen;    // bytes fed in order so far
    FileKind kind;         // what the bytes kept so far make the file; Unknown until they tell
    bool tmdSized;         // the TMD range has been made long enough for its records
    KeptRange ranges[CaptureRoleCount];
};

// Starts a capture (zero it first) of a file `knownLength` bytes long, or
// of a stream (-1): the start is the header read a regular file's length
// calls for, or everything a stream's first bytes can decide on. False
// when memory ran out.
bool startCapture(Capture* capture, std::int64_t knownLength, bool verifying);

// Feeds the file's next `n` bytes, in order; false when memory ran out for
// a range it calls for.
bool feedCapture(Capture* capture, const std::uint8_t* block, std::size_t n);

// Counts the file's next `n` bytes, which lie past everything kept.
void countPastCapture(Capture* capture, std::size_t n);

// For a regular file read only where needed: the next bytes planned that
// are not kept yet and lie inside the file, as a place to read them into.
struct CaptureWant {
    std::uint64_t offset;
    std::size_t length;
    std::uint8_t* into;
    CaptureRole role;
};
bool nextWant(const Capture& capture, CaptureWant* want);
// The wanted bytes have been read into place; false when memory ran out
// for a range they call for.
bool wantArrived(Capture* capture, const CaptureWant& want);

// `n` bytes at `offset` in `*out`, when one range holds them all.
bool capturedBytes(const Capture& capture, std::uint64_t offset, std::size_t n, ByteSpan* out);

void releaseCapture(Capture* capture);
