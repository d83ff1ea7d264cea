// pe-checksum FILE...: prints the PE image checksum of each file as the program's self-test computes it.
#include "ImageChecksum.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE...\n", argv[0]);
        return 2;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "%s: cannot be read\n", argv[i]);
            status = 1;
            continue;
        }
        std::vector<unsigned char> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        size_t field = 0;
        if (!FindChecksumField(image.data(), image.size(), &field)) {
            std::fprintf(stderr, "%s: not a PE image\n", argv[i]);
            status = 1;
            continue;
        }
        std::printf("%08lx  %s\n", static_cast<unsigned long>(ComputeImageChecksum(image.data(), image.size(), field)),
                    argv[i]);
    }
    return status;
}
