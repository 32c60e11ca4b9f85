// What the three files of the application module share: the command line
// (commandLine.cpp), the bus observer (busObserver.cpp) and the wiring with
// the console commands and the main loop (main.cpp).
#pragma once

#include "hal/include/hal_types.h"

// Reads text the way atoi does, saturating at the int range.
int mainTextToInt(const char* text);
// Formats the version text; first thing the program does.
void mainFormatVersion();
const char* mainAppName();
const char* mainAppVersion();
// Writes text to the console through the shell.
void mainShellPrint(const char* text);
