// tessvale: the command line (--scan, the lookups, --help) without Qt; a window is the
// program tessvale-window (app/window_main.cpp), which this process becomes for it.
#include "app/logic/program_start.h"

int main(int argc, char** argv)
{
    return tessvale::RunProgram(argc, argv);
}
