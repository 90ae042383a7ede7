// SPDX-License-Identifier: MIT
// Byte layouts of the Wii title files the tool reads: WAD packages, tickets
// and TMDs (title metadata). Only the bytes the tool compares or interprets
// are named here. Offsets are from the start of the record named in the
// constant (WAD file, ticket, TMD header, content record); every integer in
// these files is big-endian.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- Lengths that decide how much of a file is read ----

// A TMD up to and including its content count and the four bytes after it.
inline constexpr std::size_t TmdHeaderLength = 0x1E4;
inline constexpr std::size_t TicketLength = 0x2A4;
// A WAD from its start to the end of its TMD header, in the usual layout.
inline constexpr std::size_t WadReadLength = 0xEE4;
inline constexpr std::size_t ContentRecordLength = 0x24;

// ---- WAD package ----

inline constexpr std::size_t WadPrefixLength = 12;
// Header length 0x20, type letters, zero, certificate-chain length 0xA00.
inline constexpr std::uint8_t WadPrefixIs[WadPrefixLength] = {0x00, 0x00, 0x00, 0x20, 'I', 's',
                                                              0x00, 0x00, 0x00, 0x00, 0x0A, 0x00};
inline constexpr std::uint8_t WadPrefixIb[WadPrefixLength] = {0x00, 0x00, 0x00, 0x20, 'i', 'b',
                                                              0x00, 0x00, 0x00, 0x00, 0x0A, 0x00};
inline constexpr std::size_t WadTypeOffset = 0x04;
inline constexpr std::size_t WadTypeLength = 2;
// The header gives the length of each section, 4 bytes each, in the order
// the sections follow it: the header itself, the certificate chain, the
// revocation list, the ticket, the TMD, the contents' data, the footer.
inline constexpr std::size_t WadHeaderLengthOffset = 0x00;
inline constexpr std::size_t WadCertChainLengthOffset = 0x08;
inline constexpr std::size_t WadCrlLengthOffset = 0x0C;
inline constexpr std::size_t WadTicketLengthOffset = 0x10;
inline constexpr std::size_t WadTmdLengthOffset = 0x14;
inline constexpr std::size_t WadDataLengthOffset = 0x18;
inline constexpr std::size_t WadFooterLengthOffset = 0x1C;
inline constexpr std::size_t WadHeaderFieldsEnd = 0x20;
// Each section starts on a multiple of 64 bytes.
inline constexpr std::uint64_t WadSectionAlignment = 0x40;
// The header and certificate chain that both accepted prefixes give.
inline constexpr std::uint64_t WadHeaderSectionLength = 0x40;
inline constexpr std::uint64_t WadCertChainLength = 0xA00;

// ---- Issuer tails, shared by tickets and TMDs ----

inline constexpr std::size_t IssuerTailOffset = 0x150;
inline constexpr std::size_t IssuerTailLength = 10;
inline constexpr char TicketIssuerTail[IssuerTailLength + 1] = "XS00000003";
inline constexpr char TmdIssuerTail[IssuerTailLength + 1] = "CP00000004";

// ---- Ticket ----

inline constexpr std::size_t TicketIdOffset = 0x1D0;
inline constexpr std::size_t TicketIdLength = 8;
inline constexpr std::size_t TicketConsoleIdOffset = 0x1D8;
inline constexpr std::size_t TicketTitleIdHighOffset = 0x1DC;
inline constexpr std::size_t TicketTitleIdLowOffset = 0x1E0;
inline constexpr std::size_t TitleIdLength = 8;
inline constexpr std::size_t TicketTitleVersionOffset = 0x1E6;
// Which common key decrypts the title key: 0 the usual one, 1 Korea's,
// 2 the Wii U's virtual Wii.
inline constexpr std::size_t TicketCommonKeyIndexOffset = 0x1F1;
// A ticket must be this long to hold every field the tool reads.
inline constexpr std::size_t TicketFieldsEnd = 0x1F2;

// ---- TMD header ----

// The system version: the title ID of the IOS the title runs on, whose
// low 16 bits are the IOS number.
inline constexpr std::size_t TmdSystemVersionOffset = 0x184;
inline constexpr std::size_t TmdIosOffset = 0x18A;
inline constexpr std::size_t TmdTitleIdHighOffset = 0x18C;
inline constexpr std::size_t TmdTitleIdLowOffset = 0x190;
inline constexpr std::size_t TmdMakerCodeOffset = 0x198;
inline constexpr std::size_t TmdRegionOffset = 0x19C;
inline constexpr std::size_t TmdTitleVersionOffset = 0x1DC;
inline constexpr std::size_t TmdContentCountOffset = 0x1DE;

// ---- Content record ----

inline constexpr std::size_t ContentIdOffset = 0;
inline constexpr std::size_t ContentIndexOffset = 4;
inline constexpr std::size_t ContentTypeOffset = 6;
inline constexpr std::size_t ContentSizeOffset = 8;  // 64 bits
inline constexpr std::size_t ContentHashOffset = 0x10;
inline constexpr std::size_t ContentHashLength = 20;  // SHA-1
// A content type above this marks a content shared between titles.
inline constexpr std::uint16_t SharedContentTypeLimit = 0x8000;

// ---- Text fields ----

inline constexpr std::size_t TitleCodeLength = 4;
inline constexpr std::size_t MakerCodeLength = 2;

// ---- Title IDs ----

// The high half of every system title (BOOT2, System Menu, the IOSes).
inline constexpr std::uint32_t SystemTitleHigh = 1;

// ---- Signatures and certificates (verification) ----

// A signed structure (ticket, TMD, certificate) starts with its signature
// type; the signature, then padding, follow, and the signed part starts
// with the 64-byte issuer where the padding ends.
inline constexpr std::size_t SignatureTypeOffset = 0;
inline constexpr std::size_t SignatureOffset = 4;
inline constexpr std::uint32_t SignatureRsa4096 = 0x00010000;
inline constexpr std::uint32_t SignatureRsa2048 = 0x00010001;
inline constexpr std::uint32_t SignatureEcc = 0x00010002;
inline constexpr std::size_t Rsa4096Length = 0x200;
inline constexpr std::size_t Rsa2048Length = 0x100;
inline constexpr std::size_t EccSignatureLength = 0x40;
inline constexpr std::size_t SignaturePaddingLength = 0x3C;
// Where a ticket's or TMD's signed part starts (they carry RSA-2048).
inline constexpr std::size_t SignedPartOffset = 0x140;
inline constexpr std::size_t IssuerLength = 0x40;

// A certificate, from the end of its signature's padding: issuer, key type,
// name, key ID, then the key.
inline constexpr std::size_t CertKeyTypeOffset = 0x40;
inline constexpr std::size_t CertNameOffset = 0x44;
inline constexpr std::size_t CertNameLength = 0x40;
inline constexpr std::size_t CertKeyOffset = 0x88;
inline constexpr std::uint32_t CertKeyRsa4096 = 0;
inline constexpr std::uint32_t CertKeyRsa2048 = 1;
inline constexpr std::uint32_t CertKeyEcc = 2;
// Each key: modulus, 4-byte exponent and 52 bytes of padding for RSA; 60
// bytes of key and 60 of padding for ECC.
inline constexpr std::size_t CertRsaPaddingLength = 0x34;
inline constexpr std::size_t CertExponentLength = 4;
inline constexpr std::size_t CertEccKeyLength = 0x78;
// The most certificate bytes verification keeps (a chain is 0xA00).
inline constexpr std::size_t CertChainLimit = 0x10000;

// A ticket's title key, encrypted with the common key its index selects,
// the title ID and eight zero bytes being the IV; a ticket whose
// key-exchange data is set is bound to one console, whose own key encrypts
// the title key once more.
inline constexpr std::size_t TicketKeyExchangeOffset = 0x180;
inline constexpr std::size_t TicketKeyExchangeLength = 0x3C;
inline constexpr std::size_t TicketTitleKeyOffset = 0x1BF;
inline constexpr std::size_t TitleKeyLength = 16;

// A WAD's contents follow its TMD section, each from a 64-byte boundary of
// the data section, encrypted with the title key in blocks of 16 bytes;
// the content's index, big-endian, then zeros, is its IV.
inline constexpr std::uint64_t ContentAlignment = 0x40;
inline constexpr std::uint64_t ContentBlockLength = 16;

// ---- Banner: the title's names, at the start of content 0, decrypted ----

// The content whose record's index is this one holds the banner.
inline constexpr std::uint16_t BannerContentIndex = 0;
// Its header's magic, at the first of these offsets that holds it; the
// names follow the magic at BannerNamesOffset, one slot a language of
// BannerNameUnits UTF-16 big-endian units, NUL-terminated when shorter.
inline constexpr std::size_t BannerMagicOffsets[] = {0x40, 0x80};
inline constexpr char BannerMagic[] = "IMET";
inline constexpr std::size_t BannerMagicLength = 4;
inline constexpr std::size_t BannerNamesOffset = 0x1C;
inline constexpr std::size_t BannerLanguageCount = 10;
inline constexpr std::size_t BannerNameUnits = 42;
inline constexpr std::size_t BannerSlotLength = 2 * BannerNameUnits;
// The most of content 0 a banner's names can need.
inline constexpr std::size_t BannerKeptLength = 0x80 + BannerNamesOffset + BannerLanguageCount * BannerSlotLength;
