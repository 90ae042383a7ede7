// Writes synthetic Wii title files.
//   titlegen samples DIR   writes the bundled sample set into DIR
#include <cstdio>
#include <cstring>
#include <string>

#include "titlecraft.h"

int main(int argc, char** argv) {
    if (argc != 3 || std::strcmp(argv[1], "samples") != 0) {
        std::printf("usage: titlegen samples DIR\n");
        return 2;
    }
    for (const titlecraft::SampleFile& file : titlecraft::sampleFiles()) {
        std::string path = std::string(argv[2]) + "/" + file.name;
        if (!titlecraft::writeFile(path, file.bytes)) {
            std::printf("titlegen: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
