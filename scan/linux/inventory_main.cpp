// tessvale-inventory: the child program of the remote inventory, started by tessvale per
// host for one job (scan/linux/inventory_child.h); nothing else.
#include <cstdio>
#include <optional>

#include "common/checked_output.h"
#include "scan/child_jobs.h"

int main(int argc, char** argv)
{
    if (const std::optional<int> code = tessvale::RunChildJobIfAsked(argc, argv)) {
        return *code;
    }
    tessvale::IgnoreResult(
        std::fputs("tessvale-inventory: started by tessvale for the inventory of a host, not by hand\n", stderr));
    return 2;
}
