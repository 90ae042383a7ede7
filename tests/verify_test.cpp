// SPDX-License-Identifier: MIT
// Verification (/v), in this process over the in-memory OS layer: a file
// built to have each finding, each status and each verdict, among them
// every way 1.2.0 could be fooled into calling replaced contents intact;
// each run as a regular file and as streams read in pieces of 1, 7 and
// 4096 bytes, and 100 bytes first, all giving the file's verdict.
#include <gtest/gtest.h>

#include <functional>

#include <nlohmann/json.hpp>

#include "evasions.h"
#include "folders.h"
#include "memory_run.h"
#include "os_memory.h"
#include "signing.h"

namespace {

using json = nlohmann::json;
using titlecraft::Bytes;
using titlecraft::SyntheticKey;
using titlecraft::TitleParts;

using namespace evasion;

// Indices that are not the records' places, and empty contents, one last.
const titlecraft::Tmd Unordered{.version = 1,
                                .contents = {{0x0001, 3000, 7, 0x10},
                                             {0x0001, 0, 2},
                                             {0x0001, 20000, 0x0102},
                                             {0x8001, 0, 9}}};

// Contents larger than a stream's read, so that reads end inside a block.
const titlecraft::Tmd Large{.version = 1, .contents = {{0x0001, 150000}, {0x0001, 70001}}};

Bytes changed(Bytes b, std::size_t at, std::uint8_t mask = 0x01) {
    b.at(at) ^= mask;
    return b;
}

constexpr std::size_t CertLength = 0x300;  // an RSA-2048 key's certificate, signed with RSA-2048
constexpr std::size_t CaCertLength = 0x400;  // the CA's, signed by the root with RSA-4096
constexpr std::size_t CaKeyPadding = 0x3F0;  // a byte after the CA's key, which only the root's signature covers

// A chain of these certificates, as long as a WAD's.
Bytes chainOf(const std::vector<Bytes>& certificates) {
    Bytes chain;
    for (const Bytes& c : certificates)
        chain = titlecraft::concat(chain, c);
    chain.resize(0xA00);
    return chain;
}

const titlecraft::CertFields XsFields = {"Root-CA00000001", "XS00000003", SyntheticKey::Xs, SyntheticKey::Ca};

// The synthetic CA's certificate, as the root signed it.
Bytes caCertificate() {
    Bytes chain = titlecraft::syntheticCertChain();
    return Bytes(chain.begin(), chain.begin() + CaCertLength);
}

// The chain with one certificate in place of the synthetic one.
Bytes chainWith(std::size_t index, const Bytes& certificate) {
    Bytes chain = titlecraft::syntheticCertChain();
    std::size_t at = index == 0 ? 0 : CaCertLength + (index - 1) * CertLength;
    std::copy(certificate.begin(), certificate.end(), chain.begin() + static_cast<long>(at));
    return chain;
}

titlecraft::CertFields cpFields() {
    return {"Root-CA00000001", "CP00000004", SyntheticKey::Cp, SyntheticKey::Ca};
}

Bytes issuedBy(const char* signerName) {
    TitleParts p = parts({.contentSeed = Replaced});
    titlecraft::putText(p.tmd, 0x140 + 16, signerName);
    titlecraft::signTmd(p.tmd);
    return wad(p);
}

// A TMD or ticket, signed, with the certificate chain after it or not.
Bytes bare(bool ticket, bool withChain) {
    Bytes b = ticket ? titlecraft::ticketBytes(TitleTicket) : titlecraft::tmdBytes(Title);
    ticket ? titlecraft::signTicket(b) : titlecraft::signTmd(b);
    return withChain ? titlecraft::concat(b, titlecraft::syntheticCertChain()) : b;
}

// A bare TMD of `count` contents, signed, with its chain after them: past
// the file's first 3,812 bytes from 93 contents on.
Bytes bareTmdOf(std::size_t count) {
    titlecraft::Tmd tmd = Title;
    tmd.contents.assign(count, titlecraft::Content{0x0001, 16});
    Bytes b = titlecraft::tmdBytes(tmd);
    titlecraft::signTmd(b);
    return titlecraft::concat(b, titlecraft::syntheticCertChain());
}

Bytes zeroed(Bytes b, std::size_t at, std::size_t n) {
    std::fill(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + n), 0);
    return b;
}

// A bare TMD whose chain comes after `others` certificates it does not need.
Bytes chainAfterOthers(int others) {
    Bytes b = bare(false, false);
    for (int i = 0; i < others; ++i)
        b = titlecraft::concat(b, titlecraft::certificate(XsFields));
    return titlecraft::concat(b, titlecraft::syntheticCertChain());
}

struct VerifyCase {
    const char* name;
    std::function<Bytes()> file;
    const char* verify;  // the JSON object expected
    int exitCode;
    const char* line;  // the one-line form's result
    MemoryKeys keys = {};
};

constexpr char Genuine[] =
    R"({"tmdSignature":"valid","ticketSignature":"valid","ticketMatches":true,"contents":"ok","verdict":"genuine"})";
constexpr char TmdInvalidContentsOk[] =
    R"({"tmdSignature":"invalid","ticketSignature":"valid","ticketMatches":true,"contents":"ok","verdict":"failed"})";

const VerifyCase VerifyCases[] = {
    {"signed and whole", [] { return genuine(); }, Genuine, 0, "genuine"},
    {"indices not their places, empty contents in the middle and last",
     [] { return wad(parts({}, {.low = 0x54534C41, .version = 1}, Unordered)); }, Genuine, 0, "genuine"},
    // An empty content is there even where the file ends before its boundary.
    {"the last content empty, the file ending with the data before it",
     [] {
         Bytes b = wad(parts({}, {.low = 0x54534C41, .version = 1}, Unordered));
         b.resize(titlecraft::wadPlaces(b).data + 3008 + 20000);
         return b;
     },
     Genuine, 0, "genuine"},
    {"cut inside a content, an empty one after it",
     [] {
         Bytes b = wad(parts({}, {.low = 0x54534C41, .version = 1}, Unordered));
         b.resize(titlecraft::wadPlaces(b).data + 3008 + 10000);
         return b;
     },
     R"({"tmdSignature":"valid","ticketSignature":"valid","ticketMatches":true,"contents":"incomplete","verdict":"failed"})",
     15, "failed: 1 of 4 contents missing"},
    {"Korean key", [] { return genuine({.commonKey = 1}); }, Genuine, 0, "genuine"},
    {"contents larger than a read", [] { return wad(parts({}, {.low = 0x54534C41, .version = 1}, Large)); }, Genuine, 0, "genuine"},
    {"one content", [] { return wad(parts({}, {.low = 0x54534C41, .version = 1}, {.version = 1, .contents = {{0x0001, 1000}}})); },
     Genuine, 0, "genuine"},
    // No root key: the chain holds together, but nothing anchors it.
    {"signed, no root key", [] { return genuine(); },
     R"({"tmdSignature":"unanchored","ticketSignature":"unanchored","ticketMatches":true,"contents":"ok","verdict":"unproven"})",
     16, "unproven: no root.key", {.root = false}},
    // Evasions 1 to 6, each with replaced contents: never genuine.
    {"1 a home-made chain", [] { return evasions()[0].file; },
     R"({"tmdSignature":"invalid","ticketSignature":"invalid","ticketMatches":true,"contents":"ok","verdict":"failed","hints":["root.key"]})", 15, "failed: TMD and ticket signatures invalid"},
    {"1 a home-made chain, no root key", [] { return evasions()[0].file; },
     R"({"tmdSignature":"unanchored","ticketSignature":"unanchored","ticketMatches":true,"contents":"ok","verdict":"unproven"})",
     16, "unproven: no root.key", {.root = false}},
    {"2 a CP certificate of exponent 1", [] { return evasions()[1].file; }, TmdInvalidContentsOk, 15, "failed: TMD signature invalid"},
    {"3 the signature type changed", [] { return evasions()[2].file; }, TmdInvalidContentsOk, 15, "failed: TMD signature invalid"},
    {"4 the chain zeroed", [] { return evasions()[3].file; },
     R"({"tmdSignature":"unverifiable","ticketSignature":"unverifiable","ticketMatches":true,"contents":"ok","verdict":"unproven"})",
     16, "unproven: TMD unverifiable"},
    {"4 an issuer the file lacks", [] { return evasions()[4].file; },
     R"({"tmdSignature":"unverifiable","ticketSignature":"valid","ticketMatches":true,"contents":"ok","verdict":"unproven"})",
     16, "unproven: TMD unverifiable"},
    {"5 a TMD signed by the ticket signer", [] { return evasions()[5].file; }, TmdInvalidContentsOk, 15, "failed: TMD signature invalid"},
    {"5 an issuer of another shape", [] { return issuedBy("CP00000004-XX"); }, TmdInvalidContentsOk, 15, "failed: TMD signature invalid"},
    {"6 fakesigned", [] { return evasions()[6].file; },
     R"({"tmdSignature":"fakesigned","ticketSignature":"fakesigned","ticketMatches":true,"contents":"ok","verdict":"unproven"})",
     16, "unproven: TMD fakesigned"},
    {"all-zero signature, digest not starting with zero", [] { return zeroed(genuine(), places().tmd + 4, 0x100); },
     TmdInvalidContentsOk, 15, "failed: TMD signature invalid"},
    {"TMD changed after signing", [] { return changed(genuine(), places().tmd + 0x1DC); }, TmdInvalidContentsOk, 15, "failed: TMD signature invalid"},
    {"a record's hash changed",
     [] { return changed(genuine(), places().tmd + 0x1E4 + 0x24 + 0x10); },
     R"({"tmdSignature":"invalid","ticketSignature":"valid","ticketMatches":true,"contents":"damaged","verdict":"failed"})",
     15, "failed: TMD signature invalid"},
    {"CP certificate changed", [] { return changed(genuine(), places().certs + CaCertLength + 0x1C8); },
     TmdInvalidContentsOk, 15, "failed: TMD signature invalid"},
    // A byte after its key: the TMD verifies under the key, the certificate not under the CA's.
    {"CP certificate's padding changed", [] { return changed(genuine(), places().certs + CaCertLength + 0x2F0); },
     TmdInvalidContentsOk, 15, "failed: TMD signature invalid"},
    {"no CA certificate", [] { return titlecraft::concat(bare(false, false), titlecraft::certificate(cpFields())); },
     R"({"tmdSignature":"unverifiable","contents":"not-in-file","verdict":"unproven"})", 16, "unproven: TMD unverifiable"},
    // The CA's certificate is what only the root key checks.
    {"CA certificate changed", [] { return changed(genuine(), places().certs + CaKeyPadding); },
     R"({"tmdSignature":"invalid","ticketSignature":"invalid","ticketMatches":true,"contents":"ok","verdict":"failed","hints":["root.key"]})", 15, "failed: TMD and ticket signatures invalid"},
    {"another root's key", [] { return genuine(); },
     R"({"tmdSignature":"invalid","ticketSignature":"invalid","ticketMatches":true,"contents":"ok","verdict":"failed","hints":["root.key"]})",
     15, "failed: TMD and ticket signatures invalid", {.rootKey = titlecraft::rootKeyBytes(SyntheticKey::OtherRoot)}},
    {"another root's key, a wrong common key", [] { return genuine(); },
     R"({"tmdSignature":"invalid","ticketSignature":"invalid","ticketMatches":true,"contents":"damaged","verdict":"failed","hints":["root.key","standard.key"]})",
     15, "failed: TMD and ticket signatures invalid", {.standardKey = Bytes(titlecraft::SyntheticCommonKeys[2], titlecraft::SyntheticCommonKeys[2] + 16),
          .rootKey = titlecraft::rootKeyBytes(SyntheticKey::OtherRoot)}},
    {"a bare TMD, another root's key", [] { return bare(false, true); },
     R"({"tmdSignature":"invalid","contents":"not-in-file","verdict":"failed","hints":["root.key"]})", 15, "failed: TMD signature invalid",
     {.rootKey = titlecraft::rootKeyBytes(SyntheticKey::OtherRoot)}},
    // The root's link refuses the TMD's chain, but the ticket is invalid of itself.
    {"another root's key, the ticket's signature changed", [] { return changed(genuine(), places().ticket + 0x10); },
     R"({"tmdSignature":"invalid","ticketSignature":"invalid","ticketMatches":true,"contents":"ok","verdict":"failed"})",
     15, "failed: TMD and ticket signatures invalid", {.rootKey = titlecraft::rootKeyBytes(SyntheticKey::OtherRoot)}},
    {"CA certificate changed, no root key", [] { return changed(genuine(), places().certs + CaKeyPadding); },
     R"({"tmdSignature":"unanchored","ticketSignature":"unanchored","ticketMatches":true,"contents":"ok","verdict":"unproven"})",
     16, "unproven: no root.key", {.root = false}},
    // Links of the wrong kind.
    // The CP certificate grows by 256 bytes; the chain keeps its length, without XS.
    {"a CP key of type RSA-4096 holding an RSA-2048 key",
     [] {
         titlecraft::CertFields fields = cpFields();
         fields.keyType = 0;
         return wad(parts(), chainOf({caCertificate(), titlecraft::certificate(fields)}));
     },
     R"({"tmdSignature":"invalid","ticketSignature":"unverifiable","ticketMatches":true,"contents":"ok","verdict":"failed"})",
     15, "failed: TMD signature invalid"},
    {"a CA certificate signed with RSA-2048, by itself",
     [] {
         return wad(parts(), chainOf({titlecraft::certificate({"Root", "CA00000001", SyntheticKey::Ca, SyntheticKey::Ca}),
                                      titlecraft::certificate(cpFields()), titlecraft::certificate(XsFields)}));
     },
     R"({"tmdSignature":"invalid","ticketSignature":"invalid","ticketMatches":true,"contents":"ok","verdict":"failed"})", 15, "failed: TMD and ticket signatures invalid"},
    {"a CP certificate signed with RSA-4096, by the root",
     [] {
         titlecraft::CertFields fields = {"Root-CA00000001", "CP00000004", SyntheticKey::Cp, SyntheticKey::Root};
         return wad(parts(), chainOf({caCertificate(), titlecraft::certificate(fields)}));
     },
     R"({"tmdSignature":"invalid","ticketSignature":"unverifiable","ticketMatches":true,"contents":"ok","verdict":"failed"})",
     15, "failed: TMD signature invalid"},
    {"a CP certificate of an even exponent",
     [] {
         titlecraft::CertFields fields = cpFields();
         fields.exponent = 65536;
         return wad(parts(), chainWith(1, titlecraft::certificate(fields)));
     },
     TmdInvalidContentsOk, 15, "failed: TMD signature invalid"},
    // The title's findings.
    {"another title's ticket", [] { return genuine({.low = 0x41424344, .version = 3}); },
     R"({"tmdSignature":"valid","ticketSignature":"valid","ticketMatches":false,"contents":"ok","verdict":"failed"})", 15, "failed: another title's ticket"},
    {"a content changed", [] { return changed(genuine(), places().data + 0x1400); },
     R"({"tmdSignature":"valid","ticketSignature":"valid","ticketMatches":true,"contents":"damaged","verdict":"failed"})", 15, "failed: 1 of 3 contents damaged"},
    {"the last content cut short", [] { Bytes b = genuine(); b.resize(places().data + 45056 + 8); return b; },
     R"({"tmdSignature":"valid","ticketSignature":"valid","ticketMatches":true,"contents":"incomplete","verdict":"failed"})",
     15, "failed: 1 of 3 contents missing"},
    // A ticket section long enough for the title ID but not the title key, and one a little shorter.
    {"a ticket section of 484 bytes",
     [] {
         TitleParts p = parts();
         p.ticket.resize(484);
         return wad(p);
     },
     R"({"tmdSignature":"valid","ticketSignature":"missing","ticketMatches":true,"contents":null,"verdict":"unproven"})", 16, "unproven: ticket missing"},
    {"a ticket section of 498 bytes, up to its common key's index",
     [] {
         TitleParts p = parts();
         p.ticket.resize(498);
         return wad(p);
     },
     R"({"tmdSignature":"valid","ticketSignature":"missing","ticketMatches":true,"contents":"ok","verdict":"unproven"})", 16, "unproven: ticket missing"},
    {"a ticket section of 480 bytes",
     [] {
         TitleParts p = parts();
         p.ticket.resize(480);
         return wad(p);
     },
     R"({"tmdSignature":"valid","ticketSignature":"missing","ticketMatches":null,"contents":null,"verdict":"unproven"})", 16, "unproven: ticket missing"},
    {"data cut short", [] { Bytes b = genuine(); b.resize(places().data + 6000); return b; },
     R"({"tmdSignature":"valid","ticketSignature":"valid","ticketMatches":true,"contents":"incomplete","verdict":"failed"})",
     15, "failed: 2 of 3 contents missing"},
    {"no contents, vWii key not supplied",
     [] { return wad(parts({}, {.commonKey = 2}, titlecraft::Tmd{.version = 3})); },
     R"({"tmdSignature":"valid","ticketSignature":"valid","ticketMatches":true,"contents":"no-key","verdict":"unproven"})", 16, "unproven: no vwii key"},
    {"a common key no console has", [] { return genuine({.commonKey = 3}); },
     R"({"tmdSignature":"valid","ticketSignature":"valid","ticketMatches":true,"contents":"no-key","verdict":"unproven"})", 16,
     "unproven: no common key 3"},
    {"vWii key not supplied", [] { return genuine({.commonKey = 2}); },
     R"({"tmdSignature":"valid","ticketSignature":"valid","ticketMatches":true,"contents":"no-key","verdict":"unproven"})", 16, "unproven: no vwii key"},
    {"bound to one console", [] { return genuine(TitleTicket, {.consoleBound = true}); },
     R"({"tmdSignature":"valid","ticketSignature":"valid","ticketMatches":true,"contents":"console-bound","verdict":"unproven"})",
     16, "unproven: ticket bound to one console"},
    {"a wrong standard key", [] { return genuine(); },
     R"({"tmdSignature":"valid","ticketSignature":"valid","ticketMatches":true,"contents":"damaged","verdict":"failed","hints":["standard.key"]})", 15, "failed: 3 of 3 contents damaged",
     {.standardKey = Bytes(titlecraft::SyntheticCommonKeys[2], titlecraft::SyntheticCommonKeys[2] + 16)}},
    {"no ticket in the ticket section",
     [] {
         TitleParts p = parts();
         p.ticket.clear();
         return wad(p);
     },
     R"({"tmdSignature":"valid","ticketSignature":"missing","ticketMatches":null,"contents":null,"verdict":"unproven"})", 16, "unproven: ticket missing"},
    // Bare TMDs and tickets.
    {"bare TMD with its chain", [] { return bare(false, true); },
     R"({"tmdSignature":"valid","contents":"not-in-file","verdict":"genuine"})", 0, "genuine"},
    {"bare TMD of 100 contents, its chain past the first bytes", [] { return bareTmdOf(100); },
     R"({"tmdSignature":"valid","contents":"not-in-file","verdict":"genuine"})", 0, "genuine"},
    {"bare ticket with its chain", [] { return bare(true, true); },
     R"({"ticketSignature":"valid","contents":"not-in-file","verdict":"genuine"})", 0, "genuine"},
    // A chain reaching past the first 3,812 bytes, which a stream's start keeps.
    {"bare ticket, its chain after another certificate",
     [] {
         Bytes b = titlecraft::concat(bare(true, false), titlecraft::certificate(cpFields()));
         return titlecraft::concat(b, titlecraft::syntheticCertChain());
     },
     R"({"ticketSignature":"valid","contents":"not-in-file","verdict":"genuine"})", 0, "genuine"},
    {"bare ticket, its chain cut inside the XS certificate",
     [] { Bytes b = bare(true, true); b.resize(b.size() - 100); return b; },
     R"({"ticketSignature":"unverifiable","contents":"not-in-file","verdict":"unproven"})", 16, "unproven: ticket unverifiable"},
    // A certificate of a type not known ends the chain: its length is not known either.
    {"bare TMD, a certificate of an unknown type before its chain",
     [] {
         Bytes odd = titlecraft::certificate(XsFields);
         odd.at(3) = 0x09;
         return titlecraft::concat(titlecraft::concat(bare(false, false), odd), titlecraft::syntheticCertChain());
     },
     R"({"tmdSignature":"unverifiable","contents":"not-in-file","verdict":"unproven"})", 16, "unproven: TMD unverifiable"},
    // At most sixteen certificates are read: a chain after as many others is not.
    {"bare TMD, its chain after sixteen other certificates", [] { return chainAfterOthers(16); },
     R"({"tmdSignature":"unverifiable","contents":"not-in-file","verdict":"unproven"})", 16, "unproven: TMD unverifiable"},
    // ... and one whose signer is the sixteenth is (the CA's is the fifteenth).
    {"bare TMD, its signer the sixteenth certificate", [] { return chainAfterOthers(14); },
     R"({"tmdSignature":"valid","contents":"not-in-file","verdict":"genuine"})", 0, "genuine"},
    // 3, the least exponent a certificate may have.
    {"a CP certificate of exponent 3",
     [] {
         TitleParts p = parts();
         titlecraft::signTmd(p.tmd, SyntheticKey::SmallExponent);
         return wad(p, chainWith(1, titlecraft::certificate({"Root-CA00000001", "CP00000004", SyntheticKey::SmallExponent,
                                                             SyntheticKey::Ca})));
     },
     Genuine, 0, "genuine"},
    {"bare ticket without certificates", [] { return bare(true, false); },
     R"({"ticketSignature":"unverifiable","contents":"not-in-file","verdict":"unproven"})", 16, "unproven: ticket unverifiable"},
    {"bare ticket cut short", [] { Bytes b = bare(true, false); b.resize(600); return b; },
     R"({"ticketSignature":"missing","contents":"not-in-file","verdict":"unproven"})", 16, "unproven: ticket missing"},
    {"RSA-4096 signature type", [] { return changed(bare(false, true), 3, 0x01); },
     R"({"tmdSignature":"invalid","contents":"not-in-file","verdict":"failed"})", 15, "failed: TMD signature invalid"},
    // The first certificate of a name counts; one after it is not searched.
    {"a second, false CP certificate after the chain",
     [] { return titlecraft::concat(bare(false, true), titlecraft::certificate({"Root-CA00000001", "CP00000004", SyntheticKey::Xs, SyntheticKey::Ca})); },
     R"({"tmdSignature":"valid","contents":"not-in-file","verdict":"genuine"})", 0, "genuine"},
    {"a false CP certificate before the chain",
     [] {
         Bytes b = bare(false, false);
         b = titlecraft::concat(b, titlecraft::certificate({"Root-CA00000001", "CP00000004", SyntheticKey::Xs, SyntheticKey::Ca}));
         return titlecraft::concat(b, titlecraft::syntheticCertChain());
     },
     R"({"tmdSignature":"invalid","contents":"not-in-file","verdict":"failed"})", 15, "failed: TMD signature invalid"},
    // A TMD whose first bytes are a WAD's prefix: a TMD all the same.
    {"a TMD starting like a WAD",
     [] {
         Bytes b = bare(false, true);
         const std::uint8_t prefix[12] = {0, 0, 0, 0x20, 'I', 's', 0, 0, 0, 0, 0x0A, 0};
         std::copy(std::begin(prefix), std::end(prefix), b.begin());
         return b;
     },
     R"({"tmdSignature":"invalid","contents":"not-in-file","verdict":"failed"})", 15, "failed: TMD signature invalid"},
};

// The one-line form's first fields, which are JSON's.
std::string lineIdentity(const json& j) {
    std::string version = j["version"].is_null() ? "-" : std::to_string(j["version"].get<int>());
    return j["kind"].get<std::string>() + "\t" + j["titleId"].get<std::string>() + "\t" + j["name"].get<std::string>() +
           "\t" + version;
}

// The ways a file reaches the tool: regular, and streams of every kind of
// read; reads of 17 bytes leave each count from 1 to 15 of a cipher block.
const MemoryForm Forms[] = {{0, 0}, {1, 0}, {7, 0}, {17, 0}, {4096, 0}, {65536, 100}};

TEST(Verify, EachFindingAtEveryReadSize) {
    for (const VerifyCase& c : VerifyCases) {
        SCOPED_TRACE(c.name);
        useMemoryKeys(c.keys);
        Bytes file = c.file();
        // One thread for the reference; every other run on every core.
        MemoryRun first = runInMemory({"/j", "/v", "--jobs=1", "--keys=k", "f"}, file);
        ASSERT_TRUE(first.clean);
        EXPECT_EQ(first.exitCode, c.exitCode);
        json j = json::parse(first.out);
        EXPECT_EQ(j["verify"], json::parse(withHints(c.verify)));
        for (const MemoryForm& form : Forms) {
            SCOPED_TRACE("read " + std::to_string(form.chunk) + " at a time, first " + std::to_string(form.firstChunk));
            MemoryRun run = runInMemory({"/j", "/v", "--keys=k", "f"}, file, form);
            EXPECT_TRUE(run.clean);
            EXPECT_EQ(run.exitCode, first.exitCode);
            EXPECT_EQ(run.out, first.out);
        }
        // The one-line form gives the first reason the verdict has.
        MemoryRun line = runInMemory({"/l", "/v", "--keys=k", "f"}, file);
        EXPECT_EQ(line.exitCode, c.exitCode);
        EXPECT_EQ(line.out, lineIdentity(j) + "\t" + c.line + "\t-\tf\n");
        // Without /v, not a byte of it, and the same facts.
        MemoryRun plain = runInMemory({"/j", "f"}, file);
        json withoutVerify = j;
        withoutVerify.erase("verify");
        withoutVerify.erase("banner");
        if (withoutVerify.contains("contents"))
            for (json& content : withoutVerify["contents"])
                content.erase("hash");
        EXPECT_EQ(json::parse(plain.out), withoutVerify);
    }
    useMemoryKeys({});
}

// What each content's hash was found to be.
TEST(Verify, ContentHashes) {
    useMemoryKeys({});
    const struct {
        const char* name;
        Bytes file;
        std::vector<const char*> hashes;
    } cases[] = {
        {"one changed", changed(genuine(), places().data + 0x40), {"mismatch", "ok", "ok"}},
        {"the last cut", [] { Bytes b = genuine(); b.resize(places().data + 45056 + 8); return b; }(), {"ok", "ok", "missing"}},
        {"two missing", [] { Bytes b = genuine(); b.resize(places().data + 6000); return b; }(), {"ok", "missing", "missing"}},
        {"unordered", wad(parts({}, {.low = 0x54534C41, .version = 1}, Unordered)), {"ok", "ok", "ok", "ok"}},
        // A key index no console has: nothing checked, so no hash is anything.
        {"a common key of index 3", genuine({.commonKey = 3}), {nullptr, nullptr, nullptr}},
        // A size no file can hold: the content never ends.
        {"a size of almost 2^64",
         [] {
             TitleParts p = parts();
             titlecraft::putBe64(p.tmd, 0x1E4 + 2 * 0x24 + 8, ~std::uint64_t{0} - 3);
             titlecraft::signTmd(p.tmd);
             return wad(p);
         }(),
         {"ok", "ok", "missing"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const MemoryForm& form : Forms) {
            json j = json::parse(runInMemory({"/j", "/v", "--keys=k", "f"}, c.file, form).out);
            ASSERT_EQ(j["contents"].size(), c.hashes.size());
            for (std::size_t i = 0; i < c.hashes.size(); ++i)
                EXPECT_EQ(j["contents"][i]["hash"], c.hashes[i] != nullptr ? json(c.hashes[i]) : json()) << i;
        }
    }
}

// The text lines before the rule.
TEST(Verify, TextLines) {
    const struct {
        const char* name;
        Bytes file;
        std::string lines;
        MemoryKeys keys;
    } cases[] = {
        {"genuine", genuine(), "Signatures: TMD valid, ticket valid\nContents: 3 of 3 intact\nVerdict: genuine\n", {}},
        {"fakesigned", genuine(TitleTicket, {.fakesignTmd = true, .fakesignTicket = true}),
         "Signatures: TMD fakesigned, ticket fakesigned\nContents: 3 of 3 match the TMD\nVerdict: unproven\n", {}},
        {"another title's, damaged", changed(genuine({.low = 0x41424344}), places().data + 0x40),
         "Signatures: TMD valid, ticket valid\nTicket: for another title\nContents: 1 of 3 damaged\nVerdict: failed\n", {}},
        {"damaged and missing", [] { Bytes b = changed(genuine(), places().data + 0x40); b.resize(places().data + 6000); return b; }(),
         "Contents: 1 of 3 damaged, 2 missing (every one: is the standard key right?)\nVerdict: failed\n", {}},
        {"a wrong key", genuine(),
         "Contents: 3 of 3 damaged (every one: is the standard key right?)\nVerdict: failed\n",
         {.standardKey = Bytes(titlecraft::SyntheticCommonKeys[2], titlecraft::SyntheticCommonKeys[2] + 16)}},
        // Empty contents match under any key: the others are every one with bytes.
        {"a wrong key, empty contents among them", wad(parts({}, {.low = 0x54534C41, .version = 1}, Unordered)),
         "Contents: 2 of 4 damaged (every one: is the standard key right?)\nVerdict: failed\n",
         {.standardKey = Bytes(titlecraft::SyntheticCommonKeys[2], titlecraft::SyntheticCommonKeys[2] + 16)}},
        {"a wrong key, another title's ticket", genuine({.low = 0x41424344}),
         "Ticket: for another title\nContents: 3 of 3 damaged\nVerdict: failed\n",
         {.standardKey = Bytes(titlecraft::SyntheticCommonKeys[2], titlecraft::SyntheticCommonKeys[2] + 16)}},
        {"another root's key", genuine(),
         "Signatures: TMD invalid, ticket invalid (the CA does not verify under root.key: a wrong root.key or a forged "
         "CA)\nContents: 3 of 3 match the TMD\nVerdict: failed\n",
         {.rootKey = titlecraft::rootKeyBytes(SyntheticKey::OtherRoot)}},
        {"no root key", genuine(),
         "Signatures: TMD unanchored, ticket unanchored\nContents: 3 of 3 match the TMD\nVerdict: unproven\n", {.root = false}},
        {"no vWii key", genuine({.commonKey = 2}), "Contents: not checked, no vwii key\nVerdict: unproven\n", {}},
        {"bare ticket", bare(true, true), "Signatures: ticket valid\nVerdict: genuine\n", {}},
        {"bare TMD", bare(false, false), "Signatures: TMD unverifiable\nContents: not in this file\nVerdict: unproven\n", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        useMemoryKeys(c.keys);
        MemoryRun run = runInMemory({"/n", "/v", "--keys=k", "f"}, c.file);
        EXPECT_NE(run.out.find(c.lines + std::string(78, '_') + "\n"), std::string::npos) << run.out;
    }
    useMemoryKeys({});
}

// A banner's names: the magic at 0x40, else at 0x80, never elsewhere; the
// text's name is the English one, else the first a slot holds; every
// character the reports cannot show is replaced as in a file's name.
TEST(Verify, BannerNames) {
    useMemoryKeys({});
    using titlecraft::Banner;
    auto named = [](Banner banner, titlecraft::Ticket ticket = TitleTicket) {
        return wad(parts({.banner = banner}, ticket));
    };
    // Content 0 too short for the slots after a magic at 0x40.
    titlecraft::Tmd shortFirst = Title;
    shortFirst.contents[0].size = 0x3A3;
    const struct {
        const char* name;
        Bytes file;
        const char* text;  // the Name line's name; null for none
        const char* json;  // the banner field
        const char* line;  // the one-line form's field
    } cases[] = {
        {"English, at 0x40", named({0x40, {u"\u65e5\u672c", u"Tessar Channel", u"Kanal"}}), "Tessar Channel",
         R"({"names":{"ja":"日本","en":"Tessar Channel","de":"Kanal"}})", "Tessar Channel"},
        {"at 0x80", named({0x80, {{}, u"Late"}}), "Late", R"({"names":{"en":"Late"}})", "Late"},
        {"Japanese alone", named({0x40, {u"\u30c1"}}), "\u30c1", R"({"names":{"ja":"チ"}})", "\u30c1"},
        {"Korean alone", named({0x40, {{}, {}, {}, {}, {}, {}, {}, {}, {}, u"Han"}}), "Han", R"({"names":{"ko":"Han"}})",
         "Han"},
        {"every slot empty", named({0x40, {{}, {}}}), nullptr, "null", "-"},
        {"two lines, a tab and a lone surrogate", named({0x40, {{}, u"Two\nLines\tand \xd800 \U0001F600"}}),
         "Two Lines?and \ufffd \U0001F600", R"({"names":{"en":"Two\nLines\tand \ufffd \ud83d\ude00"}})",
         "Two Lines?and \ufffd \U0001F600"},
        {"42 units, no terminator", named({0x40, {{}, std::u16string(42, u'x')}}), "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx",
         R"({"names":{"en":"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"}})", "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"},
        {"no banner", genuine(), nullptr, "null", "-"},
        {"the magic elsewhere", named({0x60, {{}, u"Elsewhere"}}), nullptr, "null", "-"},
        {"too short for its slots", wad(parts({.banner = {0x40, {{}, u"Short"}}}, TitleTicket, shortFirst)), nullptr,
         "null", "-"},
        {"no key for it", named({0x40, {{}, u"Locked"}}, {.commonKey = 2}), nullptr, "null", "-"},
        // Read from a content that failed its hash too; the verdict tells.
        {"content 0 damaged", [&] { Bytes b = named({0x40, {{}, u"Damaged"}}); b.at(places().data + 0x800) ^= 1; return b; }(),
         "Damaged", R"({"names":{"en":"Damaged"}})", "Damaged"},
        {"content 0 cut short", [&] { Bytes b = named({0x40, {{}, u"Cut"}}); b.resize(places().data + 0x300); return b; }(),
         nullptr, "null", "-"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const MemoryForm& form : Forms) {
            json j = json::parse(runInMemory({"/j", "/v", "--keys=k", "f"}, c.file, form).out);
            EXPECT_EQ(j["banner"], json::parse(c.json));
        }
        std::string text = runInMemory({"/n", "/v", "--keys=k", "f"}, c.file).out;
        std::size_t signatures = text.find("Signatures: ");
        std::string before = text.substr(0, signatures);
        if (c.text != nullptr)
            EXPECT_EQ(before.substr(before.rfind('\n', before.size() - 2) + 1), "Name: " + std::string(c.text) + "\n");
        else
            EXPECT_EQ(before.find("Name: "), std::string::npos);
        std::string line = runInMemory({"/l", "/v", "--keys=k", "f"}, c.file).out;
        EXPECT_EQ(line.substr(line.rfind('\t', line.size() - 4) + 1), std::string(c.line) + "\tf\n");
    }
}

// root.key: 512 bytes of modulus, perhaps an exponent, raw or as digits.
TEST(Verify, RootKeyFiles) {
    Bytes modulus = titlecraft::rootKeyBytes();
    auto digits = [](const Bytes& b, const char* end) {
        std::string text;
        for (std::uint8_t x : b)
            text += "0123456789ABCDEF"[x >> 4], text += "0123456789ABCDEF"[x & 15];
        text += end;
        return Bytes(text.begin(), text.end());
    };
    Bytes withExponent = titlecraft::concat(modulus, Bytes{0, 1, 0, 1});
    const struct {
        const char* name;
        Bytes key;
        int exitCode;
    } cases[] = {
        {"raw modulus", modulus, 0},
        {"raw modulus and exponent", withExponent, 0},
        {"upper-case digits, CR LF", digits(withExponent, "\r\n"), 0},
        {"digits, no line end", digits(modulus, ""), 0},
        {"another root", titlecraft::rootKeyBytes(SyntheticKey::OtherRoot), 15},
        {"a byte short", Bytes(modulus.begin(), modulus.end() - 1), 2},
        {"exponent 1", titlecraft::concat(modulus, Bytes{0, 0, 0, 1}), 2},
        {"even exponent", titlecraft::concat(modulus, Bytes{0, 1, 0, 0}), 2},
        {"a modulus shorter than 4096 bits", zeroed(modulus, 0, 1), 2},
        {"not digits", digits(modulus, "x"), 2},
    };
    Bytes file = genuine();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        useMemoryKeys({.rootKey = c.key});
        MemoryRun run = runInMemory({"/n", "/v", "--keys=k", "f"}, file);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_TRUE(run.clean);
        if (c.exitCode == 2) {
            EXPECT_EQ(run.out, "\nError: Unusable key file 'k/root.key' ! (a 512-byte RSA-4096 modulus, perhaps followed "
                               "by a 4-byte odd exponent of 3 or more; bytes or hexadecimal digits)\n\n");
        }
    }
    useMemoryKeys({});
}

// Every allocation, and every call of the cryptography library, can fail:
// the one ends the run with 13, the other with 2 and the library's words,
// and neither leaves a file open or a buffer held.
TEST(Verify, EveryAllocationAndLibraryCallCanFail) {
    useMemoryKeys({});
    // The library is tried once a process, at its first run: not counted.
    runInMemory({"/n", "/v", "--keys=k", "f"}, genuine());
    // The last: an empty content after the file's end, hashed at the end.
    Bytes emptyLast = wad(parts({}, {.low = 0x54534C41, .version = 1}, Unordered));
    emptyLast.resize(titlecraft::wadPlaces(emptyLast).data + 3008 + 20000);
    const Bytes files[] = {genuine(), bare(false, true), bare(true, true), emptyLast};
    const MemoryForm forms[] = {{0, 0}, {4096, 0}};
    for (const Bytes& file : files) {
        for (const MemoryForm& form : forms) {
            setMemoryFailures(0, 0);
            MemoryRun clean = runInMemory({"/n", "/v", "--keys=k", "f"}, file, form);
            ASSERT_EQ(clean.exitCode, 0);
            // Each of them must fail the run: none is taken for something else.
            const long asked[] = {memoryAllocations(), memoryCryptoCalls()};
            // Fails the nth call, n = 1, 2, ... until a run passes: the
            // run's calls are all counted by then.
            auto failEach = [&](bool allocs, int expectedExit, const char* message) {
                int n = 0;
                for (bool failed = true; failed;) {
                    ++n;
                    setMemoryFailures(allocs ? n : 0, allocs ? 0 : n);
                    MemoryRun run = runInMemory({"/n", "/v", "--keys=k", "f"}, file, form);
                    failed = run.exitCode != 0;
                    EXPECT_TRUE(run.clean);
                    if (failed) {
                        EXPECT_EQ(run.exitCode, expectedExit);
                        EXPECT_NE(run.out.find(message), std::string::npos) << run.out;
                    }
                }
                return n;
            };
            int allocs = failEach(true, 13, "\nError: Not enough working memory!\n\n");
            int calls = failEach(false, 2, "\nError: The cryptography library failed! (");
            setMemoryFailures(0, 0);
            EXPECT_EQ(allocs - 1, asked[0]);
            EXPECT_EQ(calls - 1, asked[1]);
        }
    }
}

}  // namespace
