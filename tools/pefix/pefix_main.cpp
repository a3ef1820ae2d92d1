// zolvex-pefix: moves the NT headers of a linked stub to file offset 256 (see
// package/pe_relocate.h). Runs on the build host as a post-link step of the stub.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "package/pe_relocate.h"

namespace {

int Usage(std::FILE* out, int code) {
    std::fprintf(out,
                 "usage: zolvex-pefix INPUT.exe [OUTPUT.exe]\n"
                 "Moves the PE headers of INPUT to file offset 256 and clears bytes 248..255.\n"
                 "Writes OUTPUT, or INPUT in place. An image already laid out so is left as is.\n");
    return code;
}

bool ReadAll(const std::string& path, std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Writes beside the target and renames, so an interrupted build never leaves half a stub.
bool WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
    const std::string temp = path + ".pefix-tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        out.close();
        if (!out) {
            std::remove(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")))
        return Usage(stdout, 0);
    if (argc < 2 || argc > 3) return Usage(stderr, 2);
    const std::string input = argv[1];
    const std::string output = argc == 3 ? argv[2] : input;

    std::vector<uint8_t> image;
    if (!ReadAll(input, image)) {
        std::fprintf(stderr, "zolvex-pefix: %s: cannot read\n", input.c_str());
        return 1;
    }
    std::string error;
    if (!zv::RelocatePeHeaders(image, &error)) {
        std::fprintf(stderr, "zolvex-pefix: %s: %s\n", input.c_str(), error.c_str());
        return 1;
    }
    if (!WriteAll(output, image)) {
        std::fprintf(stderr, "zolvex-pefix: %s: cannot write\n", output.c_str());
        return 1;
    }
    return 0;
}
