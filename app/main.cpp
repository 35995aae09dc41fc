#include "app/tessvale_app.h"

int main(int argc, char** argv)
{
    tessvale::CTessvaleApp app;
    return app.InitInstance(argc, argv);
}
