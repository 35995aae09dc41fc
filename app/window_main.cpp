// tessvale-window: the window, the tray and the update run, started by tessvale (which
// answers the command line itself) with the arguments it was given.
#include <optional>

#include "app/tessvale_app.h"
#include "scan/child_jobs.h"

int main(int argc, char** argv)
{
    if (const std::optional<int> code = tessvale::RunChildJobIfAsked(argc, argv)) {
        return *code;
    }
    tessvale::CTessvaleApp app;
    return app.InitInstance(argc, argv);
}
