// The program's entry point on Windows: a GUI program with a Unicode command line (-municode).
#include <windows.h>

#include "platform/Widgets.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return ProgramMain();
}
