// The program as it ships, quitting right after its first painted frame.
#include "FirstPaint.h"
#include "app/Program.h"

int main(int argc, char* argv[]) {
    return RunProgram(argc, argv, QuitAfterFirstPaint);
}
