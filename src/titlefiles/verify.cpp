// SPDX-License-Identifier: MIT
#include "titlefiles/verify.h"

#include <algorithm>
#include <cstring>

#include "platform/os.h"

const char* const CommonKeyNames[CommonKeyCount] = {"standard", "korean", "vwii"};

namespace {

// Enough of the start to classify a file, and to read a WAD's header or a
// bare TMD's content count.
constexpr std::size_t HeadLength = TmdHeaderLength;
// Contents are decrypted this much at a time.
constexpr std::size_t PlainChunk = 64 * 1024;

std::uint64_t alignUp(std::uint64_t n, std::uint64_t to) {
    return n > UINT64_MAX - (to - 1) ? UINT64_MAX : (n + to - 1) / to * to;
}

bool keep(Verifier* v, VerifyRange which, std::uint64_t offset, std::size_t length) {
    return keepRange(&v->ranges[which], offset, length);
}

// Whether the pass has seen the whole range (a range not planned never is).
bool complete(const Verifier* v, VerifyRange which) {
    const KeptRange& r = v->ranges[which];
    return r.planned && v->seen >= r.offset && v->seen - r.offset >= r.length;
}

ByteSpan kept(const Verifier* v, VerifyRange which) {
    const KeptRange& r = v->ranges[which];
    std::uint64_t have = v->seen > r.offset ? std::min<std::uint64_t>(v->seen - r.offset, r.length) : 0;
    return {r.bytes, static_cast<std::size_t>(have)};
}

std::size_t tmdLength(ByteSpan tmdHead) {
    return TmdHeaderLength + std::size_t{readBe16(tmdHead, TmdContentCountOffset)} * ContentRecordLength;
}

// Plans the ranges the bytes seen so far call for; returns false when one
// could not be kept. `added` says whether any was.
bool plan(Verifier* v, bool* added) {
    *added = false;
    if (!v->classified) {
        if (!complete(v, HeadRange))
            return true;
        v->classified = true;
        // As the loader would tell a file long enough to be a WAD; for a
        // shorter one it says otherwise, and endVerifier checks nothing.
        v->kind = classifyStart(kept(v, HeadRange), true);
    }
    ByteSpan head = kept(v, HeadRange);
    if (v->kind == FileKind::Wad && !v->ranges[TmdRange].planned) {
        *added = true;
        std::uint64_t tmd = wadTmdOffset(head);
        std::size_t certs = std::min<std::size_t>(readBe32(head, WadCertChainLengthOffset), CertChainLimit);
        std::size_t ticket = std::min<std::size_t>(readBe32(head, WadTicketLengthOffset), TicketLength);
        std::size_t tmdSection = readBe32(head, WadTmdLengthOffset);
        return keep(v, CertRange, WadHeaderSectionLength, certs) &&
               keep(v, TicketRange, wadTicketOffset(head), ticket) &&
               keep(v, TmdRange, tmd, std::min(tmdSection, TmdLongest));
    }
    if (v->kind == FileKind::Ticket && !v->ranges[TicketRange].planned) {
        *added = true;
        return keep(v, TicketRange, 0, TicketLength) && keep(v, CertRange, TicketLength, CertChainLimit);
    }
    if (v->kind == FileKind::Tmd && !v->ranges[TmdRange].planned) {
        *added = true;
        std::size_t length = tmdLength(head);
        return keep(v, TmdRange, 0, length) && keep(v, CertRange, length, CertChainLimit);
    }
    return true;
}

bool allZero(ByteSpan bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

ByteSpan records(const Verifier* v) {
    ByteSpan tmd = kept(v, TmdRange);
    return tmd.size() > TmdHeaderLength ? tmd.subspan(TmdHeaderLength) : ByteSpan{};
}

std::uint64_t storedLength(const Verifier* v, std::size_t i) {
    return alignUp(readBe64(records(v), i * ContentRecordLength + ContentSizeOffset), ContentBlockLength);
}

// The title key from the ticket: the common key the ticket selects
// decrypts it, unless the ticket is bound to one console.
void findTitleKey(Verifier* v, ByteSpan ticket) {
    if (ticket.size() < TicketFieldsEnd) {
        v->keyStatus = ContentsStatus::None;  // no ticket to take a key from
        return;
    }
    if (!allZero(ticket.subspan(TicketKeyExchangeOffset, TicketKeyExchangeLength))) {
        v->keyStatus = ContentsStatus::ConsoleBound;
        return;
    }
    std::uint8_t index = ticket[TicketCommonKeyIndexOffset];
    v->missingKey = index;
    v->keyStatus = ContentsStatus::NoKey;
    if (index >= CommonKeyCount || !v->keys->present[index])
        return;
    std::uint8_t iv[OsAesBlockLength] = {};
    std::memcpy(iv, ticket.data() + TicketTitleIdHighOffset, TitleIdLength);
    OsAesState* aes = osAesCbcBegin(v->keys->key[index], iv);
    if (aes == nullptr)
        return;
    if (osAesCbcDecrypt(aes, ticket.data() + TicketTitleKeyOffset, v->titleKey, TitleKeyLength))
        v->keyStatus = ContentsStatus::Ok;
    osAesCbcEnd(aes);
}

// Whether a WAD's TMD header and records (and so its ticket) have passed;
// its section may hold more after them.
bool recordsPassed(const Verifier* v) {
    ByteSpan tmd = kept(v, TmdRange);
    return complete(v, TmdRange) ||
           (tmd.size() >= TmdHeaderLength && tmd.size() >= std::min(tmdLength(tmd), v->ranges[TmdRange].length));
}

// Once a WAD's TMD (and so its ticket) has passed: where its contents lie
// and the key they need.
bool planContents(Verifier* v) {
    v->contentsPlanned = true;
    ByteSpan head = kept(v, HeadRange);
    std::uint16_t count = readBe16(kept(v, TmdRange), TmdContentCountOffset);
    v->count = static_cast<std::uint16_t>(std::min<std::size_t>(count, records(v).size() / ContentRecordLength));
    if (v->count > 0) {
        v->hashes = static_cast<HashStatus*>(osAlloc(v->count));
        if (v->hashes == nullptr)
            return false;
        std::memset(v->hashes, 0, v->count);
    }
    v->contentStart = v->ranges[TmdRange].offset + alignUp(readBe32(head, WadTmdLengthOffset), WadSectionAlignment);
    findTitleKey(v, kept(v, TicketRange));
    return true;
}

void startContent(Verifier* v) {
    std::uint8_t iv[OsAesBlockLength] = {};
    std::memcpy(iv, records(v).data() + v->current * ContentRecordLength + ContentIndexOffset, 2);
    v->aes = osAesCbcBegin(v->titleKey, iv);
    v->sha = osSha1Begin();
}

void hashPlain(Verifier* v, const std::uint8_t* plain, std::size_t n) {
    std::uint64_t size = readBe64(records(v), v->current * ContentRecordLength + ContentSizeOffset);
    std::uint64_t take = std::min<std::uint64_t>(n, size - v->hashed);
    if (v->sha != nullptr && take > 0)
        osSha1Update(v->sha, plain, static_cast<std::size_t>(take));
    v->hashed += take;
}

void decryptAndHash(Verifier* v, const std::uint8_t* cipher, std::size_t n) {
    static std::uint8_t plain[PlainChunk];
    if (v->aes == nullptr || !osAesCbcDecrypt(v->aes, cipher, plain, n))
        std::memset(plain, 0, n);  // the library refused: the hash cannot match
    hashPlain(v, plain, n);
}

// Whole blocks go straight through; a stream's read that ends inside a
// block leaves the rest of it for the next read.
void takeBytes(Verifier* v, const std::uint8_t* p, std::size_t n) {
    while (n > 0) {
        if (v->carried > 0 || n < ContentBlockLength) {
            std::size_t part = std::min(n, ContentBlockLength - v->carried);
            std::memcpy(v->carry + v->carried, p, part);
            v->carried += part;
            p += part;
            n -= part;
            if (v->carried == ContentBlockLength) {
                decryptAndHash(v, v->carry, ContentBlockLength);
                v->carried = 0;
            }
            continue;
        }
        std::size_t whole = std::min<std::size_t>(n / ContentBlockLength * ContentBlockLength, PlainChunk);
        decryptAndHash(v, p, whole);
        p += whole;
        n -= whole;
    }
}

void finishContent(Verifier* v) {
    std::uint8_t digest[OsSha1Length] = {};
    if (v->sha != nullptr)
        osSha1End(v->sha, digest);
    if (v->aes != nullptr)
        osAesCbcEnd(v->aes);
    const std::uint8_t* recorded = records(v).data() + v->current * ContentRecordLength + ContentHashOffset;
    bool same = v->sha != nullptr && std::memcmp(digest, recorded, ContentHashLength) == 0;
    v->hashes[v->current] = same ? HashStatus::Ok : HashStatus::Mismatch;
    v->aes = nullptr;
    v->sha = nullptr;
    std::uint64_t stored = storedLength(v, v->current);
    // Sections, and so the data section, start on 64-byte boundaries of the
    // file: a content's boundary is one of the file's too.
    v->contentStart = v->contentStart > UINT64_MAX - stored ? UINT64_MAX : alignUp(v->contentStart + stored, ContentAlignment);
    v->consumed = 0;
    v->hashed = 0;
    ++v->current;
}

// The contents' bytes in a block that starts at `offset`.
void feedContents(Verifier* v, std::uint64_t offset, const std::uint8_t* p, std::size_t n) {
    while (v->keyStatus == ContentsStatus::Ok && v->current < v->count) {
        if (offset < v->contentStart) {
            std::uint64_t skip = std::min<std::uint64_t>(n, v->contentStart - offset);
            offset += skip;
            p += skip;
            n -= static_cast<std::size_t>(skip);
        }
        std::uint64_t stored = storedLength(v, v->current);
        if (offset < v->contentStart || (n == 0 && stored != 0))
            return;
        if (v->consumed == 0 && v->sha == nullptr)
            startContent(v);
        std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(n, stored - v->consumed));
        takeBytes(v, p, take);
        v->consumed += take;
        offset += take;
        p += take;
        n -= take;
        if (v->consumed < stored)
            return;
        finishContent(v);
    }
}

}  // namespace

bool feedVerifier(Verifier* v, const std::uint8_t* block, std::size_t n) {
    if (!v->ranges[HeadRange].planned && !keep(v, HeadRange, 0, HeadLength))
        return false;
    std::uint64_t offset = v->seen;
    v->seen += n;
    for (bool added = true; added;) {
        fillRanges(v->ranges, VerifyRangeCount, offset, block, n);
        if (!plan(v, &added))
            return false;
    }
    if (v->kind == FileKind::Wad && !v->contentsPlanned && recordsPassed(v) && !planContents(v))
        return false;
    if (v->contentsPlanned)
        feedContents(v, offset, block, n);
    return true;
}

namespace {

SignatureStatus ticketSignature(const Verifier* v, const CertificateSet& certs) {
    ByteSpan ticket = kept(v, TicketRange);
    return ticket.size() < TicketLength ? SignatureStatus::None : checkSignature(ticket.first(TicketLength), certs);
}

SignatureStatus tmdSignature(const Verifier* v, const CertificateSet& certs) {
    ByteSpan tmd = kept(v, TmdRange);
    std::size_t length = tmdLength(tmd);
    return tmd.size() < length ? SignatureStatus::None : checkSignature(tmd.first(length), certs);
}

// The contents' verdict once the file has ended: what did not arrive whole is missing.
void judgeContents(Verifier* v, VerifyFacts* facts) {
    if (!v->contentsPlanned)
        return;
    facts->contents = v->keyStatus;
    facts->missingKey = v->missingKey;
    facts->contentCount = v->count;
    facts->hashes = v->hashes;
    v->hashes = nullptr;
    if (v->keyStatus != ContentsStatus::Ok)
        return;
    feedContents(v, v->seen, nullptr, 0);  // empty contents at the very end
    for (std::size_t i = v->current; i < v->count; ++i)
        facts->hashes[i] = HashStatus::Missing;
    for (std::size_t i = 0; i < v->count; ++i) {
        facts->damaged += facts->hashes[i] == HashStatus::Mismatch ? 1 : 0;
        facts->missing += facts->hashes[i] == HashStatus::Missing ? 1 : 0;
    }
    facts->contents = facts->damaged > 0   ? ContentsStatus::Damaged
                      : facts->missing > 0 ? ContentsStatus::Incomplete
                                           : ContentsStatus::Ok;
}

}  // namespace

void endVerifier(Verifier* v, FileKind kind, VerifyFacts* facts) {
    *facts = VerifyFacts{};
    facts->verified = true;
    // The loader decides by the length too: a file it read as another kind
    // than its first bytes say has nothing this pass could check.
    if (v->kind == kind && kind != FileKind::Unknown) {
        CertificateSet certs;
        parseCertificates(kept(v, CertRange), &certs);
        if (kind != FileKind::Tmd)
            facts->ticketSignature = ticketSignature(v, certs);
        if (kind != FileKind::Ticket)
            facts->tmdSignature = tmdSignature(v, certs);
        ByteSpan ticket = kept(v, TicketRange);
        ByteSpan tmd = kept(v, TmdRange);
        facts->hasTicketMatch = kind == FileKind::Wad && ticket.size() >= TicketTitleIdHighOffset + TitleIdLength &&
                                tmd.size() >= TmdTitleIdHighOffset + TitleIdLength;
        facts->ticketMatches = facts->hasTicketMatch && std::memcmp(ticket.data() + TicketTitleIdHighOffset,
                                                                    tmd.data() + TmdTitleIdHighOffset, TitleIdLength) == 0;
        facts->contents = kind == FileKind::Wad ? ContentsStatus::None : ContentsStatus::NotInFile;
        judgeContents(v, facts);
    }
    if (v->sha != nullptr) {
        std::uint8_t digest[OsSha1Length];
        osSha1End(v->sha, digest);
    }
    if (v->aes != nullptr)
        osAesCbcEnd(v->aes);
    osFree(v->hashes);
    releaseRanges(v->ranges, VerifyRangeCount);
    *v = Verifier{};
}

void releaseVerifyFacts(VerifyFacts* facts) {
    osFree(facts->hashes);
    facts->hashes = nullptr;
}

bool verificationFailed(const VerifyFacts& facts) {
    return facts.verified && (facts.tmdSignature == SignatureStatus::Invalid ||
                              facts.ticketSignature == SignatureStatus::Invalid ||
                              (facts.hasTicketMatch && !facts.ticketMatches) ||
                              facts.contents == ContentsStatus::Damaged || facts.contents == ContentsStatus::Incomplete);
}
