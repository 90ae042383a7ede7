// SPDX-License-Identifier: MIT
#include "titlefiles/contents.h"

#include <algorithm>
#include <cstring>

#include "platform/os.h"

namespace {

bool hashPlain(ContentHash* h, const std::uint8_t* plain, std::size_t n) {
    std::uint64_t take = std::min<std::uint64_t>(n, h->size - h->hashed);
    h->hashed += take;
    return take == 0 || osSha1Update(h->sha, plain, static_cast<std::size_t>(take)) == OsOk;
}

bool decryptAndHash(ContentHash* h, const std::uint8_t* cipher, std::size_t n) {
    return osAesCbcDecrypt(h->aes, cipher, h->plain, n) == OsOk && hashPlain(h, h->plain, n);
}

// Whole blocks go straight through; a piece that ends inside a block
// leaves the rest of it for the next piece.
bool takeEncrypted(ContentHash* h, const std::uint8_t* p, std::size_t n) {
    while (n > 0) {
        if (h->carried > 0 || n < ContentBlockLength) {
            std::size_t part = std::min(n, ContentBlockLength - h->carried);
            std::memcpy(h->carry + h->carried, p, part);
            h->carried += part;
            p += part;
            n -= part;
            if (h->carried == ContentBlockLength) {
                h->carried = 0;
                if (!decryptAndHash(h, h->carry, ContentBlockLength))
                    return false;
            }
            continue;
        }
        std::size_t whole = std::min<std::size_t>(n / ContentBlockLength * ContentBlockLength, PlainChunk);
        if (!decryptAndHash(h, p, whole))
            return false;
        p += whole;
        n -= whole;
    }
    return true;
}

std::uint64_t storedLength(const WadContents* w, std::size_t i) {
    return alignUp(readBe64(w->records, i * ContentRecordLength + ContentSizeOffset), ContentBlockLength);
}

bool beginCurrent(WadContents* w) {
    std::size_t at = w->current * ContentRecordLength;
    w->hashing = true;
    return beginContentHash(&w->hash, readBe64(w->records, at + ContentSizeOffset), w->titleKey,
                            readBe16(w->records, at + ContentIndexOffset), w->plain);
}

bool finishCurrent(WadContents* w) {
    std::size_t at = w->current * ContentRecordLength;
    w->hashing = false;
    if (!endContentHash(&w->hash, w->records.data() + at + ContentHashOffset, &w->hashes[w->current]))
        return false;
    // Sections, and so the data section, start on 64-byte boundaries of the
    // file: a content's boundary is one of the file's too.
    std::uint64_t stored = storedLength(w, w->current);
    w->contentStart = w->contentStart > UINT64_MAX - stored ? UINT64_MAX
                                                            : alignUp(w->contentStart + stored, ContentAlignment);
    w->consumed = 0;
    ++w->current;
    return true;
}

}  // namespace

bool beginContentHash(ContentHash* hash, std::uint64_t size, const std::uint8_t* titleKey, std::uint16_t index,
                      std::uint8_t* plain) {
    *hash = ContentHash{size, 0, nullptr, nullptr, {}, 0, plain};
    if (titleKey != nullptr) {
        std::uint8_t iv[OsAesBlockLength] = {static_cast<std::uint8_t>(index >> 8), static_cast<std::uint8_t>(index)};
        hash->aes = osAesCbcBegin(titleKey, iv);
        if (hash->aes == nullptr)
            return false;
    }
    hash->sha = osSha1Begin();
    return hash->sha != nullptr;
}

bool feedContentHash(ContentHash* hash, const std::uint8_t* bytes, std::size_t n) {
    return hash->aes != nullptr ? takeEncrypted(hash, bytes, n) : hashPlain(hash, bytes, n);
}

bool endContentHash(ContentHash* hash, const std::uint8_t* recorded, HashStatus* status) {
    std::uint8_t digest[OsSha1Length];
    OsSha1State* sha = hash->sha;
    hash->sha = nullptr;
    bool done = sha != nullptr && osSha1End(sha, digest) == OsOk;
    dropContentHash(hash);
    if (done)
        *status = std::memcmp(digest, recorded, ContentHashLength) == 0 ? HashStatus::Ok : HashStatus::Mismatch;
    return done;
}

void dropContentHash(ContentHash* hash) {
    if (hash->sha != nullptr) {
        std::uint8_t digest[OsSha1Length];
        osSha1End(hash->sha, digest);
    }
    if (hash->aes != nullptr)
        osAesCbcEnd(hash->aes);
    hash->sha = nullptr;
    hash->aes = nullptr;
}

bool titleKeyOf(ByteSpan ticket, const KeySet& keys, std::uint8_t key[OsAesKeyLength], ContentsStatus* status,
                std::uint8_t* keyIndex) {
    *status = ContentsStatus::None;  // no ticket to take a key from
    if (ticket.size() < TicketFieldsEnd)
        return true;
    *status = ContentsStatus::ConsoleBound;
    if (!allZero(ticket.subspan(TicketKeyExchangeOffset, TicketKeyExchangeLength)))
        return true;
    *keyIndex = ticket[TicketCommonKeyIndexOffset];
    *status = ContentsStatus::NoKey;
    if (*keyIndex >= CommonKeyCount || !keys.commonPresent[*keyIndex])
        return true;
    std::uint8_t iv[OsAesBlockLength] = {};
    std::memcpy(iv, ticket.data() + TicketTitleIdHighOffset, TitleIdLength);
    OsAesState* aes = osAesCbcBegin(keys.common[*keyIndex], iv);
    if (aes == nullptr)
        return false;
    bool done = osAesCbcDecrypt(aes, ticket.data() + TicketTitleKeyOffset, key, TitleKeyLength) == OsOk;
    osAesCbcEnd(aes);
    if (done)
        *status = ContentsStatus::Ok;
    return done;
}

bool planWadContents(WadContents* walk, ByteSpan records, std::uint16_t count, std::uint64_t dataOffset,
                     ByteSpan ticket, const KeySet& keys) {
    walk->planned = true;
    walk->records = records;
    walk->count = static_cast<std::uint16_t>(std::min<std::size_t>(count, records.size() / ContentRecordLength));
    walk->contentStart = dataOffset;
    if (!titleKeyOf(ticket, keys, walk->titleKey, &walk->keyStatus, &walk->keyIndex)) {
        walk->failed = true;
        return true;
    }
    if (walk->count == 0)
        return true;
    walk->hashes = static_cast<HashStatus*>(osAlloc(walk->count));
    if (walk->hashes == nullptr)
        return false;
    std::memset(walk->hashes, 0, walk->count);
    if (walk->keyStatus != ContentsStatus::Ok)
        return true;
    walk->plain = static_cast<std::uint8_t*>(osAlloc(PlainChunk));
    return walk->plain != nullptr;
}

void feedWadContents(WadContents* w, std::uint64_t offset, const std::uint8_t* p, std::size_t n) {
    while (!w->failed && w->keyStatus == ContentsStatus::Ok && w->current < w->count) {
        if (offset < w->contentStart) {
            std::uint64_t skip = std::min<std::uint64_t>(n, w->contentStart - offset);
            offset += skip;
            p += skip;
            n -= static_cast<std::size_t>(skip);
        }
        std::uint64_t stored = storedLength(w, w->current);
        if (offset < w->contentStart || (n == 0 && stored != 0))
            return;
        if (!w->hashing && !beginCurrent(w)) {
            w->failed = true;
            return;
        }
        std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(n, stored - w->consumed));
        if (!feedContentHash(&w->hash, p, take)) {
            w->failed = true;
            return;
        }
        w->consumed += take;
        offset += take;
        p += take;
        n -= take;
        if (w->consumed < stored)
            return;
        if (!finishCurrent(w)) {
            w->failed = true;
            return;
        }
    }
}

// Contents not whole when the file ends are missing, but for an empty
// one, which is there by definition even where the file ends before the
// boundary it would start on: its hash is the hash of nothing.
void endWadContents(WadContents* walk) {
    if (walk->failed || walk->keyStatus != ContentsStatus::Ok)
        return;
    dropContentHash(&walk->hash);  // a content cut short: never compared
    for (std::size_t i = walk->current; i < walk->count; ++i) {
        walk->hashes[i] = HashStatus::Missing;
        walk->current = i;
        if (storedLength(walk, i) == 0 && (!beginCurrent(walk) || !finishCurrent(walk))) {
            walk->failed = true;
            return;
        }
    }
}

void releaseWadContents(WadContents* walk) {
    dropContentHash(&walk->hash);
    osFree(walk->hashes);
    osFree(walk->plain);
    *walk = WadContents{};
}
