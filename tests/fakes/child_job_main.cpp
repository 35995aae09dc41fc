// The main of the test programs that run the remote inventory's providers: such a
// program is also the child the providers start for each host, so the child's job comes
// before the tests.
#include <gtest/gtest.h>

#include "scan/linux/inventory_jobs.h"

int main(int argc, char** argv)
{
    if (const std::optional<int> code = tessvale::RunChildJobIfAsked(argc, argv)) {
        return *code;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
