#include "shell/StartUp.h"
#include "toolkit/Application.h"
#include "workflows/SlipOut.h"

using namespace varnel;

int main(int argc, char** argv) {
    TApplication application(argc, argv);
    if (!StartUp(application))
        return 1;
    application.Run();
    FinishSlips();
    TApplication::Halt(0);
}
