// tessvale-window: the window, the tray and the update run, started by tessvale (which
// answers the command line itself) with the arguments it was given.
#include "app/tessvale_app.h"

int main(int argc, char** argv)
{
    tessvale::CTessvaleApp app;
    return app.InitInstance(argc, argv);
}
