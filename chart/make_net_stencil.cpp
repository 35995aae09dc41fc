// Build tool: writes the stencil NET_1.vssx that ships beside the program.
#include <cstdio>

#include "chart/net_stencil.h"
#include "common/checked_output.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        tessvale::IgnoreResult(std::fprintf(stderr, "usage: %s OUTPUT.vssx\n", argv[0]));
        return 2;
    }
    if (!tessvale::WriteNetStencil(argv[1])) {
        tessvale::IgnoreResult(std::fprintf(stderr, "cannot write %s\n", argv[1]));
        return 1;
    }
    return 0;
}
