// The program's entry point on Linux.
#include "platform/Widgets.h"

int main() {
    return ProgramMain();
}
