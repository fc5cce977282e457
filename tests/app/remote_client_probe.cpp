// The program's command line as far as the remote goes: what `zarvo --record` and the others do.
#include "app/remote_command.h"

int main(int argc, char** argv) {
    if (const auto code = run_remote_option(argc, argv)) return *code;
    return 3;  // not a remote option: the program would start its window here
}
