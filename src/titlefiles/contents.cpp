// SPDX-License-Identifier: MIT
// Content hashes: a WAD's data section walked as it passes, a title
// folder's files checked one by one, and the title key they need.
#include "titlefiles/contents.h"

#include <algorithm>
#include <cstring>

#include "platform/os.h"

namespace {

bool hashPlain(ContentHash* h, const std::uint8_t* plain, std::size_t n) {
    std::uint64_t take = std::min<std::uint64_t>(n, h->size - h->hashed);
    if (h->keep != nullptr && h->kept < BannerKeptLength) {
        auto part = static_cast<std::size_t>(std::min<std::uint64_t>(take, BannerKeptLength - h->kept));
        std::memcpy(h->keep + h->kept, plain, part);
        h->kept += part;
    }
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

ByteSpan recordOf(const ContentResults& r, std::size_t index) {
    return r.records.subspan(index * ContentRecordLength, ContentRecordLength);
}

std::uint64_t storedLength(const WadWalk* w, std::size_t i) {
    return alignUp(readBe64(recordOf(*w->results, i), ContentSizeOffset), ContentBlockLength);
}

// Whether the content of a record holds the banner, and its bytes are yet
// to be kept.
bool keepsBanner(const ContentResults& r, ByteSpan record) {
    return readBe16(record, ContentIndexOffset) == BannerContentIndex && !r.bannerRead;
}

bool beginCurrent(WadWalk* w) {
    ByteSpan record = recordOf(*w->results, w->current);
    w->hashing = true;
    bool begun = beginContentHash(&w->hash, readBe64(record, ContentSizeOffset), w->results->titleKey,
                                  readBe16(record, ContentIndexOffset), w->results->plain);
    if (keepsBanner(*w->results, record))
        w->hash.keep = w->results->banner;
    return begun;
}

bool finishCurrent(WadWalk* w) {
    w->hashing = false;
    if (w->hash.keep != nullptr) {
        w->results->bannerRead = true;
        w->results->bannerLength = w->hash.kept;
    }
    if (!endContentHash(&w->hash, recordOf(*w->results, w->current).data() + ContentHashOffset,
                        &w->results->hashes[w->current]))
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

// The title key from a ticket (TicketFieldsEnd bytes at least): the common
// key the ticket selects decrypts it, unless the ticket is bound to one
// console. ContentsStatus::Ok with the key, or why there is none (None
// without a ticket; NoKey, with the index in `*keyIndex`; ConsoleBound);
// false when the library failed.
bool decryptTitleKey(ByteSpan ticket, const KeySet& keys, std::uint8_t key[OsAesKeyLength], ContentsStatus* status,
                     std::uint8_t* keyIndex) {
    *status = ContentsStatus::None;
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

}  // namespace

bool beginContentHash(ContentHash* hash, std::uint64_t size, const std::uint8_t* titleKey, std::uint16_t index,
                      std::uint8_t* plain) {
    *hash = ContentHash{size, 0, nullptr, nullptr, {}, 0, plain, nullptr, 0};
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

bool startContentResults(ContentResults* results, ByteSpan records, std::uint16_t count, ByteSpan ticket,
                         const KeySet& keys, bool allOrNone) {
    results->checked = true;
    results->allOrNone = allOrNone;
    results->records = records;
    results->count = static_cast<std::uint16_t>(std::min<std::size_t>(count, records.size() / ContentRecordLength));
    if (!decryptTitleKey(ticket, keys, results->titleKey, &results->keyStatus, &results->keyIndex)) {
        results->failed = true;
        return true;
    }
    if (results->count == 0)
        return true;
    results->hashes = static_cast<HashStatus*>(osAlloc(results->count));
    if (results->hashes == nullptr)
        return false;
    std::memset(results->hashes, 0, results->count);
    if (results->keyStatus != ContentsStatus::Ok)
        return true;
    results->plain = static_cast<std::uint8_t*>(osAlloc(PlainChunk));
    return results->plain != nullptr;
}

const std::uint8_t* titleKeyOf(const ContentResults& results) {
    return results.keyStatus == ContentsStatus::Ok ? results.titleKey : nullptr;
}

bool checkEmptyContent(ContentResults* results, std::size_t index) {
    ContentHash hash{};
    return beginContentHash(&hash, 0, nullptr, 0, nullptr) &&
           endContentHash(&hash, recordOf(*results, index).data() + ContentHashOffset, &results->hashes[index]);
}

void releaseContentResults(ContentResults* results) {
    osFree(results->hashes);
    osFree(results->plain);
    *results = ContentResults{};
}

void startWadWalk(WadWalk* walk, ContentResults* results, std::uint64_t dataOffset) {
    *walk = WadWalk{};
    walk->results = results;
    walk->contentStart = dataOffset;
}

void feedWadWalk(WadWalk* w, std::uint64_t offset, const std::uint8_t* p, std::size_t n) {
    while (wadWalkNeedsMore(*w)) {
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
            w->results->failed = true;
            return;
        }
        std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(n, stored - w->consumed));
        if (!feedContentHash(&w->hash, p, take)) {
            w->results->failed = true;
            return;
        }
        w->consumed += take;
        offset += take;
        p += take;
        n -= take;
        if (w->consumed < stored)
            return;
        if (!finishCurrent(w)) {
            w->results->failed = true;
            return;
        }
    }
}

bool wadWalkNeedsMore(const WadWalk& walk) {
    const ContentResults& r = *walk.results;
    return r.checked && !r.failed && r.keyStatus == ContentsStatus::Ok && walk.current < r.count;
}

// Contents not whole when the file ends are missing, but for an empty
// one, which is there by definition even where the file ends before the
// boundary it would start on: its hash is the hash of nothing.
void endWadWalk(WadWalk* walk) {
    ContentResults& r = *walk->results;
    dropContentHash(&walk->hash);  // a content cut short: never compared
    if (!r.checked || r.failed || r.keyStatus != ContentsStatus::Ok)
        return;
    for (std::size_t i = walk->current; i < r.count; ++i) {
        r.hashes[i] = HashStatus::Missing;
        if (storedLength(walk, i) == 0 && !checkEmptyContent(&r, i)) {
            r.failed = true;
            return;
        }
    }
}

bool beginContentFile(ContentFileCheck* check, const ContentResults& results, std::size_t index,
                      std::uint64_t length) {
    ByteSpan record = recordOf(results, index);
    std::uint64_t size = readBe64(record, ContentSizeOffset);
    const std::uint8_t* key = titleKeyOf(results);
    *check = ContentFileCheck{};
    check->length = length;
    check->readsEncrypted = length == alignUp(size, ContentBlockLength) && key != nullptr;
    check->readsPlain = length == size;
    bool begun =
        (!check->readsEncrypted ||
         beginContentHash(&check->encrypted, size, key, readBe16(record, ContentIndexOffset), results.plain)) &&
        (!check->readsPlain || beginContentHash(&check->plain, size, nullptr, 0, nullptr));
    if (keepsBanner(results, record)) {
        check->encrypted.keep = check->keptEncrypted;
        check->plain.keep = check->keptPlain;
    }
    return begun;
}

bool contentFileRead(const ContentFileCheck& check) {
    return check.readsEncrypted || check.readsPlain;
}

bool feedContentFile(ContentFileCheck* check, const std::uint8_t* bytes, std::size_t n) {
    return (!check->readsEncrypted || feedContentHash(&check->encrypted, bytes, n)) &&
           (!check->readsPlain || feedContentHash(&check->plain, bytes, n));
}

namespace {

// The banner's bytes from the reading that matched, else the encrypted one.
void keepBannerOf(const ContentFileCheck& check, ContentResults* results, HashStatus plain) {
    const ContentHash& from = plain == HashStatus::Ok || !check.readsEncrypted ? check.plain : check.encrypted;
    if (from.keep == nullptr || (&from == &check.plain && plain != HashStatus::Ok))
        return;
    results->bannerRead = true;
    results->bannerLength = from.kept;
    std::memcpy(results->banner, from.keep, from.kept);
}

}  // namespace

bool endContentFile(ContentFileCheck* check, ContentResults* resultsOut, std::size_t index, HashStatus* hash,
                    ContentForm* form) {
    const ContentResults& results = *resultsOut;
    ByteSpan record = recordOf(results, index);
    std::uint64_t size = readBe64(record, ContentSizeOffset);
    const std::uint8_t* recorded = record.data() + ContentHashOffset;
    HashStatus encrypted = HashStatus::Unchecked;
    HashStatus plain = HashStatus::Unchecked;
    bool done = (!check->readsEncrypted || endContentHash(&check->encrypted, recorded, &encrypted)) &&
                (!check->readsPlain || endContentHash(&check->plain, recorded, &plain));
    dropContentFile(check);
    if (done)
        keepBannerOf(*check, resultsOut, plain);
    *hash = check->length < size ? HashStatus::Missing : HashStatus::Mismatch;
    *form = ContentForm::Unchecked;
    if (encrypted == HashStatus::Ok || plain == HashStatus::Ok) {
        *hash = HashStatus::Ok;
        *form = encrypted == HashStatus::Ok ? ContentForm::Encrypted : ContentForm::Decrypted;
    } else if (check->length == alignUp(size, ContentBlockLength) && titleKeyOf(results) == nullptr &&
               check->length >= size) {
        *hash = HashStatus::Unchecked;  // the reading that needs the key was not made
    } else if (contentFileRead(*check)) {
        *form = check->readsEncrypted ? ContentForm::Encrypted : ContentForm::Decrypted;
    }
    return done;
}

void dropContentFile(ContentFileCheck* check) {
    dropContentHash(&check->encrypted);
    dropContentHash(&check->plain);
}
