// The window of kvp-reader, started by kvp-reader with the user's command line.
#include "WindowProgram.h"

int main(int argc, char **argv)
{
    return kvp::runWindow(argc, argv);
}
