// Writes the module's generated resources as a .res file: resgen OUTPUT.res
#include <cstdio>

#include "resources/resource_data.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: resgen OUTPUT.res\n");
        return 2;
    }
    const std::vector<std::uint8_t> bytes = vantrel::resources::ResourceFile();
    std::FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
