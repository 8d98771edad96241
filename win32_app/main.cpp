#include "win32_app/program.h"

int main() {
    return RunProgram();
}
