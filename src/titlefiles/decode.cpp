// SPDX-License-Identifier: MIT
// A loaded title's facts, read from its bytes.
#include "titlefiles/decode.h"

#include <cstring>

#include "common/unicode.h"

namespace {

// The installed size counts a title's records, one TMD header and one ticket.
constexpr std::uint64_t InstallOverhead = TmdHeaderLength + TicketLength;
constexpr unsigned BlockShift = 17;  // 128 KiB blocks

std::uint64_t blocksOf(std::uint64_t bytes) {
    return (bytes >> BlockShift) + 1;
}

std::uint64_t addSaturating(std::uint64_t a, std::uint64_t b) {
    return b > UINT64_MAX - a ? UINT64_MAX : a + b;
}

void copyField(ByteSpan buf, std::size_t off, std::uint8_t* out, std::size_t n) {
    if (holds(buf, off, n))
        std::memcpy(out, buf.data() + off, n);
    else
        std::memset(out, 0, n);
}

// Own and shared contents are summed apart, each saturating, and the total
// is their saturating sum, so a hostile size can never make the own size
// fall below the fixed overhead.
TitleSizes sumSizes(ByteSpan records, std::uint16_t count) {
    std::uint64_t own = InstallOverhead + std::uint64_t{count} * ContentRecordLength;
    std::uint64_t shared = 0;
    for (std::size_t i = 0; i < count; ++i) {
        ContentFacts content = decodeContent(records, i);
        if (content.shared)
            shared = addSaturating(shared, content.size);
        else
            own = addSaturating(own, content.size);
    }
    std::uint64_t total = addSaturating(own, shared);
    return {own, shared, total, blocksOf(own), blocksOf(total)};
}

void decodeTmd(ByteSpan tmd, std::uint16_t count, TitleFacts* facts) {
    facts->titleHigh = readBe32(tmd, TmdTitleIdHighOffset);
    facts->titleLow = readBe32(tmd, TmdTitleIdLowOffset);
    copyField(tmd, TmdTitleIdLowOffset, facts->code, TitleCodeLength);
    facts->hasVersion = true;
    facts->version = readBe16(tmd, TmdTitleVersionOffset);
    copyField(tmd, TmdMakerCodeOffset, facts->maker, MakerCodeLength);
    facts->systemVersion = readBe64(tmd, TmdSystemVersionOffset);
    facts->ios = readBe16(tmd, TmdIosOffset);
    facts->region = readBe16(tmd, TmdRegionOffset);
    facts->contentCount = count;
    facts->contents = tmd.subspan(TmdHeaderLength, std::size_t{count} * ContentRecordLength);
    facts->sizes = sumSizes(facts->contents, count);
}

void decodeTicket(ByteSpan ticket, TicketFacts* facts) {
    facts->hasTicketId = holds(ticket, TicketIdOffset, TicketIdLength);
    facts->ticketId = readBe64(ticket, TicketIdOffset);
    facts->hasConsoleId = holds(ticket, TicketConsoleIdOffset, sizeof facts->consoleId);
    facts->consoleId = readBe32(ticket, TicketConsoleIdOffset);
    facts->hasCommonKey = holds(ticket, TicketCommonKeyIndexOffset, sizeof facts->commonKeyIndex);
    facts->commonKeyIndex = facts->hasCommonKey ? ticket[TicketCommonKeyIndexOffset] : 0;
    facts->hasTitleId = holds(ticket, TicketTitleIdHighOffset, TitleIdLength);
    facts->titleId = readBe64(ticket, TicketTitleIdHighOffset);
    facts->hasVersion = holds(ticket, TicketTitleVersionOffset, sizeof facts->version);
    facts->version = readBe16(ticket, TicketTitleVersionOffset);
}

// A WAD's contents start on 64-byte boundaries of its data section, each
// stored in whole 16-byte blocks; one is lacking when the file ends before
// its last block, and so is every later one but an empty one, which is
// there by definition.
std::uint16_t wadContentsLacking(ByteSpan records, std::uint16_t count, std::uint64_t start, std::uint64_t length) {
    std::uint16_t lacking = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint64_t size = decodeContent(records, i).size;
        if (size == 0)
            continue;
        if (lacking > 0 || start > length || size > length - start ||
            alignUp(size, ContentBlockLength) > length - start) {
            ++lacking;
            continue;
        }
        start = alignUp(start + alignUp(size, ContentBlockLength), ContentAlignment);
    }
    return lacking;
}

std::uint16_t folderContentsLacking(const FolderParts& folder, ByteSpan records, std::uint16_t count) {
    std::uint16_t lacking = 0;
    for (std::size_t i = 0; i < count; ++i)
        lacking += folder.names[i][0] == 0 && decodeContent(records, i).size > 0 ? 1 : 0;
    return lacking;
}

bool isSurrogate(char32_t unit, char32_t first) {
    return unit >= first && unit < first + 0x400;
}

// One slot's name: its units up to the first NUL, surrogate pairs joined
// and an unpaired surrogate read as U+FFFD; returns its length.
std::uint8_t decodeName(ByteSpan slot, char32_t* out) {
    std::uint8_t n = 0;
    for (std::size_t i = 0; i < BannerNameUnits; ++i) {
        char32_t unit = readBe16(slot, 2 * i);
        if (unit == 0)
            break;
        char32_t low = i + 1 < BannerNameUnits ? readBe16(slot, 2 * i + 2) : 0;
        if (isSurrogate(unit, 0xD800) && isSurrogate(low, 0xDC00)) {
            out[n++] = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        } else {
            out[n++] = isSurrogate(unit, 0xD800) || isSurrogate(unit, 0xDC00) ? ReplacementCharacter : unit;
        }
    }
    return n;
}

// The names of the banner content 0 begins with: its magic at the first
// offset that holds it, and the slots after it whole; nothing is guessed
// from other offsets.
void decodeBanner(ByteSpan kept, BannerFacts* banner) {
    for (std::size_t at : BannerMagicOffsets) {
        std::size_t names = at + BannerNamesOffset;
        if (!holds(kept, names, BannerLanguageCount * BannerSlotLength) ||
            std::memcmp(kept.data() + at, BannerMagic, BannerMagicLength) != 0)
            continue;
        for (std::size_t i = 0; i < BannerLanguageCount; ++i) {
            banner->lengths[i] = decodeName(kept.subspan(names + i * BannerSlotLength, BannerSlotLength), banner->names[i]);
            banner->present = banner->present || banner->lengths[i] > 0;
        }
        return;
    }
}

}  // namespace

ContentFacts decodeContent(ByteSpan records, std::size_t index) {
    std::size_t at = index * ContentRecordLength;
    ContentFacts content{};
    content.id = readBe32(records, at + ContentIdOffset);
    content.index = readBe16(records, at + ContentIndexOffset);
    content.type = readBe16(records, at + ContentTypeOffset);
    content.shared = content.type > SharedContentTypeLimit;
    content.size = readBe64(records, at + ContentSizeOffset);
    content.sha1 = holds(records, at + ContentHashOffset, ContentHashLength) ? records.data() + at + ContentHashOffset
                                                                             : nullptr;
    return content;
}

void decodeTitle(const LoadedTitle& title, TitleFacts* facts) {
    *facts = TitleFacts{};
    facts->kind = title.kind;
    facts->verify = title.verify.verified ? &title.verify : nullptr;
    if (title.kind == FileKind::Ticket) {
        ByteSpan ticket = title.parts.ticket;
        facts->titleHigh = readBe32(ticket, TicketTitleIdHighOffset);
        facts->titleLow = readBe32(ticket, TicketTitleIdLowOffset);
        copyField(ticket, TicketTitleIdLowOffset, facts->code, TitleCodeLength);
        // A ticket file too short to hold its title version has none.
        facts->hasVersion = holds(ticket, TicketTitleVersionOffset, sizeof facts->version);
        facts->version = readBe16(ticket, TicketTitleVersionOffset);
    } else {
        decodeTmd(title.parts.tmd, title.parts.contentCount, facts);
    }
    facts->folder = title.folder;
    facts->hasTicket = holdsTicket(title.kind) && (title.folder == nullptr || title.folder->hasTicket);
    if (facts->hasTicket)
        decodeTicket(title.parts.ticket, &facts->ticket);
    if (title.kind == FileKind::Wad) {
        copyField(title.parts.start, WadTypeOffset, facts->wad.type, WadTypeLength);
        facts->wad.fileLength = static_cast<std::uint64_t>(title.fileLength);
        facts->wad.expectedLength = title.layout.expectedLength;
        facts->contentsLacking = wadContentsLacking(facts->contents, facts->contentCount, title.layout.dataOffset,
                                                    facts->wad.fileLength);
    }
    if (title.verify.verified && title.contents.bannerRead)
        decodeBanner(ByteSpan(title.contents.banner, title.contents.bannerLength), &facts->banner);
    if (title.folder != nullptr && title.folder->names != nullptr)
        facts->contentsLacking = folderContentsLacking(*title.folder, facts->contents, facts->contentCount);
}
