#include "wineboard.h"
#include "winebusdevice.h"

#include <cstdio>

// Plays the evaluation board inside Wine for the programs run beside it, so that the shipped
// programs can be tried end to end: plugs board instance 0000 in (the test driver's .inf beside
// this program), answers from a fresh BoardFirmware until standard input ends, and leaves the
// device plugged. Prints "board plugged" once the board is there.
int main()
{
    WineBoard board(L"0000");
    const std::string failed = plugWineBoard(wineBoardInfBesideProgram(), L"0000");
    if (!failed.empty()) {
        std::fprintf(stderr, "qd7310-wineboard: %s\n", failed.c_str());
        return 1;
    }
    std::puts("board plugged");
    std::fflush(stdout);
    while (std::getchar() != EOF) { }
    return 0;
}
