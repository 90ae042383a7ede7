// SPDX-License-Identifier: MIT
#include "titlefiles/capture.h"

#include <algorithm>

#include "titlefiles/formats.h"

namespace {

// The prefixes a WAD is accepted by give its chain one length, which the
// start holds.
static_assert(WadHeaderSectionLength + WadCertChainLength <= WadReadLength);

// A range no longer than what lies of it inside the file, when the
// file's length is known: nothing past the end is ever kept or read.
std::size_t insideFile(const Capture* c, std::uint64_t offset, std::size_t length) {
    if (!c->lengthKnown)
        return length;
    return static_cast<std::size_t>(std::min<std::uint64_t>(length, c->length - std::min(offset, c->length)));
}

// Plans a range and copies into it what the start already holds of it.
bool keepFilled(Capture* c, CaptureRole role, std::uint64_t offset, std::size_t length) {
    if (!keepRange(&c->ranges[role], offset, insideFile(c, offset, length)))
        return false;
    ByteSpan start = keptBytes(c->ranges[StartBytes]);
    fillRange(&c->ranges[role], 0, start.data(), start.size());
    return true;
}

// The kind the start tells, as the loader will decide it once the length
// is known; Unknown while the start is too short to tell. A stream whose
// first bytes are a WAD's is taken for one until it ends: if it ends
// before a WAD's header read, the start holds all of it.
FileKind decideKind(const Capture* c) {
    return classifyStart(keptBytes(c->ranges[StartBytes]), !c->lengthKnown || c->length >= WadReadLength);
}

std::size_t recordsLength(ByteSpan tmdHeader) {
    return std::size_t{readBe16(tmdHeader, TmdContentCountOffset)} * ContentRecordLength;
}

// A WAD's ticket and TMD header lie where its header's section lengths put
// them (its certificate chain, in the start); its records follow the TMD
// header, once that has told how many there are, if its section holds them.
bool planWad(Capture* c, bool* changed) {
    ByteSpan head = keptBytes(c->ranges[StartBytes]);
    if (!c->ranges[TmdBytes].planned) {
        if (head.size() < WadHeaderFieldsEnd)
            return true;
        *changed = true;
        std::size_t ticket = std::min<std::size_t>(c->verifying ? TicketLength : TicketFieldsEnd,
                                                   readBe32(head, WadTicketLengthOffset));
        if (!keepFilled(c, TicketBytes, wadTicketOffset(head), ticket) ||
            !keepFilled(c, TmdBytes, wadTmdOffset(head), TmdHeaderLength))
            return false;
    }
    KeptRange& tmd = c->ranges[TmdBytes];
    if (c->tmdSized || tmd.have < TmdHeaderLength)
        return true;
    c->tmdSized = true;
    std::size_t length = TmdHeaderLength + recordsLength(keptBytes(tmd));
    if (length > readBe32(head, WadTmdLengthOffset) || insideFile(c, tmd.offset, length) < length)
        return true;  // records the section or the file cannot hold: the loader tells which
    *changed = true;
    return growRange(&tmd, length);
}

// A bare TMD: its header and records from the start of the file, and the
// certificates after them.
bool planTmd(Capture* c, bool* changed) {
    ByteSpan head = keptBytes(c->ranges[StartBytes]);
    if (c->tmdSized || head.size() < TmdHeaderLength)
        return true;
    c->tmdSized = true;
    *changed = true;
    std::size_t length = TmdHeaderLength + recordsLength(head);
    if (insideFile(c, 0, length) < length)
        return true;  // the file ends before its records
    if (!keepFilled(c, TmdBytes, 0, length))
        return false;
    return !c->verifying || keepFilled(c, CertBytes, length, CertChainLimit);
}

// A bare ticket lies in the start; verification needs the certificates after it.
bool planTicket(Capture* c, bool* changed) {
    if (!c->verifying || c->ranges[CertBytes].planned)
        return true;
    *changed = true;
    return keepFilled(c, CertBytes, TicketLength, CertChainLimit);
}

bool plan(Capture* c, bool* changed) {
    *changed = false;
    if (c->kind == FileKind::Unknown)
        c->kind = decideKind(c);
    switch (c->kind) {
    case FileKind::Wad:
        return planWad(c, changed);
    case FileKind::Tmd:
        return planTmd(c, changed);
    case FileKind::Ticket:
        return planTicket(c, changed);
    case FileKind::Unknown:
    case FileKind::Folder:  // never what a file's bytes say
        break;
    }
    return true;
}

// Takes bytes of the file at `offset` into every range they carry on, and
// plans what they call for; ranges planned now take their part of the same
// bytes.
bool absorb(Capture* c, std::uint64_t offset, const std::uint8_t* block, std::size_t n) {
    for (bool changed = true; changed;) {
        for (KeptRange& range : c->ranges)
            fillRange(&range, offset, block, n);
        if (!plan(c, &changed))
            return false;
    }
    return true;
}

}  // namespace

bool startCapture(Capture* capture, std::int64_t knownLength, bool verifying) {
    capture->verifying = verifying;
    capture->lengthKnown = knownLength >= 0;
    capture->length = capture->lengthKnown ? static_cast<std::uint64_t>(knownLength) : 0;
    std::size_t start = capture->lengthKnown && !verifying ? headerReadLength(knownLength) : WadReadLength;
    return keepRange(&capture->ranges[StartBytes], 0, insideFile(capture, 0, start));
}

bool feedCapture(Capture* capture, const std::uint8_t* block, std::size_t n) {
    std::uint64_t offset = capture->seen;
    capture->seen += n;
    if (!capture->lengthKnown)
        capture->length = capture->seen;
    return absorb(capture, offset, block, n);
}

void countPastCapture(Capture* capture, std::size_t n) {
    capture->seen += n;
    if (!capture->lengthKnown)
        capture->length = capture->seen;
}

bool nextWant(const Capture& capture, CaptureWant* want) {
    for (const KeptRange& r : capture.ranges) {
        if (!r.planned || r.have == r.length)
            continue;
        auto role = static_cast<CaptureRole>(&r - capture.ranges);
        *want = {r.offset + r.have, r.length - r.have, r.bytes + r.have, role};
        return true;
    }
    return false;
}

bool wantArrived(Capture* capture, const CaptureWant& want) {
    // No other range wants these bytes: ranges overlap only the start,
    // which is read first and copied from as each is planned.
    capture->ranges[want.role].have += want.length;
    for (bool changed = true; changed;)
        if (!plan(capture, &changed))
            return false;
    return true;
}

bool capturedBytes(const Capture& capture, std::uint64_t offset, std::size_t n, ByteSpan* out) {
    for (const KeptRange& r : capture.ranges) {
        if (!r.planned || offset < r.offset || offset - r.offset > r.have || n > r.have - (offset - r.offset))
            continue;
        *out = ByteSpan(r.bytes, r.have).subspan(static_cast<std::size_t>(offset - r.offset), n);
        return true;
    }
    return false;
}

void releaseCapture(Capture* capture) {
    for (KeptRange& range : capture->ranges)
        releaseRange(&range);
}
