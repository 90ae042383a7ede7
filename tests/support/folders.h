// SPDX-License-Identifier: MIT
// Title folders built to have each finding: the files a title is
// delivered in (its TMD and ticket with their certificates, one file a
// content, encrypted as delivered or decrypted), some of them missing,
// changed or cut short. The end-to-end tests write them to disk, the
// in-process ones hand them to the in-memory OS layer.
#pragma once

#include <string>
#include <vector>

#include "signing.h"

namespace folders {

using titlecraft::Bytes;

// Content IDs with letters, so that the case of their names matters.
extern const titlecraft::Tmd Title;
extern const titlecraft::Ticket TitleTicket;
// The contents' files' names, as delivered and as unpacked.
extern const char* const Encrypted[3];
extern const char* const Decrypted[3];

enum class Form { Encrypted, Decrypted };

// A second file beside the one a part is read from.
enum class Copy {
    None,
    DamagedDecrypted,  // the first content decrypted, with a byte changed
    UpperCase,         // the first content as delivered, its name in upper case
    OtherTicket,       // title.tik beside cetk, another title's
    AbsentEmpty,       // not a copy: an empty content whose file is absent, the last
};

struct Layout {
    Form form = Form::Encrypted;
    bool ticket = true;
    titlecraft::Ticket ticketOf = TitleTicket;
    int missing = -1;    // a content whose file is not there
    int damaged = -1;    // a content with a byte changed
    int shortened = -1;  // a content cut short
    int otherForm = -1;  // a content in the other form than the rest
    const char* tmdName = "tmd";
    Copy copy = Copy::None;  // a second file that names a part
    titlecraft::Banner banner = {};  // in the first content
};

struct File {
    std::string name;
    Bytes bytes;
};

// The folder's files, by name.
std::vector<File> files(const Layout& layout);

// A case: the folder, and what /v must find.
struct Case {
    const char* name;
    Layout layout;
    const char* verify;  // the JSON object
    const char* hashes;  // the contents' hash fields, as a JSON array
    int exitCode;
    const char* line;               // the one-line form's result, under /v
    const char* alternates = "[]";  // the second files found, under /v
};
extern const std::vector<Case> Cases;

}  // namespace folders

// The verify object a row expects, its "hints" [] unless it names some.
inline std::string withHints(const char* verify) {
    std::string text = verify;
    if (text.find("\"hints\"") == std::string::npos && !text.empty() && text.back() == '}')
        text.insert(text.size() - 1, ",\"hints\":[]");
    return text;
}
