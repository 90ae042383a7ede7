// SPDX-License-Identifier: MIT
// A module that tells whether it was loaded: as it is, it writes the file
// CONFIG_PROBE_MARK names. A configuration file that names it as a
// provider shows whether the cryptography library read that file.
#include <cstdio>
#include <cstdlib>

namespace {

struct Mark {
    Mark() {
        if (const char* name = std::getenv("CONFIG_PROBE_MARK"))
            if (std::FILE* f = std::fopen(name, "w"))
                std::fclose(f);
    }
};

const Mark mark;

}  // namespace
