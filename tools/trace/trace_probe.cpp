// trace_probe: a test helper that writes chosen lines through the real trace stream and sink,
// so tests can see exactly what a viewer receives. Not shipped.
//   --line TEXT   write TEXT as one trace line (may be repeated)
//   --fill N      write one line of N characters "abc...zabc..."
//   --pid         print this process's id on stdout first
//   --sleep MS    stay alive MS milliseconds
//   --wait-file PATH  stay alive until PATH exists (at most five minutes)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "utils/trace.h"
#include "utils/win/zdebug.h"

int main(int argc, char** argv) {
    zv::InstallTraceSink();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--pid") {
            std::printf("%lu\n", static_cast<unsigned long>(GetCurrentProcessId()));
            std::fflush(stdout);
            continue;
        }
        const char* value = i + 1 < argc ? argv[++i] : "";
        if (arg == "--line") {
            zv::TraceOut().WriteLine(value);
        } else if (arg == "--fill") {
            std::string text(std::strtoul(value, nullptr, 10), ' ');
            for (size_t k = 0; k < text.size(); ++k) text[k] = char('a' + k % 26);
            zv::TraceOut().WriteLine(text);
        } else if (arg == "--wait-file") {
            for (int waited = 0; waited < 300000 && GetFileAttributesA(value) == INVALID_FILE_ATTRIBUTES;
                 waited += 50)
                Sleep(50);
        } else if (arg == "--sleep") {
            Sleep(std::strtoul(value, nullptr, 10));
        } else {
            std::fprintf(stderr, "trace_probe: unknown argument %s\n", arg.c_str());
            return 2;
        }
    }
    return 0;
}
