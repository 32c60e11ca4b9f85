// The program: wiring of the byte path and the one main loop.
#pragma once

// The program's entry point; returns the process exit status.
int zelvanEacSnifferMain(int argc, char** argv);
