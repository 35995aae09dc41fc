// tessvale: the command line (--scan, the lookups, --help) without Qt; a window is the
// program tessvale-window (app/window_main.cpp), which this process becomes for it.
#include <optional>

#include "app/logic/program_start.h"
#include "scan/child_jobs.h"

int main(int argc, char** argv)
{
    if (const std::optional<int> code = tessvale::RunChildJobIfAsked(argc, argv)) {
        return *code;
    }
    return tessvale::RunProgram(argc, argv);
}
