// zolvex-pack: builds setup packages and looks inside them. The work is in pack_lib.
#include <iostream>
#include <string>
#include <vector>

#include "pack_cli.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return zv::pack::RunCli(args, std::cout, std::cerr, zv::pack::ProcessEnvironment());
}
