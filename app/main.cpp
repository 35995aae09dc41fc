#include "app/tessvale_app.h"
#include "scan/linux/inventory_jobs.h"

int main(int argc, char** argv)
{
    if (const std::optional<int> code = tessvale::RunChildJobIfAsked(argc, argv)) {
        return *code;
    }
    tessvale::CTessvaleApp app;
    return app.InitInstance(argc, argv);
}
