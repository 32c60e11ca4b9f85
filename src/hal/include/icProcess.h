// Process-wide set-up that has to come before anything else in the program.
#pragma once

// Opens the null device on standard input, output and error where the
// starter left them closed (a service manager, `<&-`). Otherwise the first
// descriptor the program opens takes their number: a timer counter would
// arrive as keys, console text would go into a wait object or onto the bus.
// Call it first, before anything opens a descriptor.
void icProcessInit();
// Standard input as the bytes that come: on Windows it is opened as text,
// which would turn CR LF into LF and end at the first Ctrl-Z of a capture.
void icProcessBinaryStdin();
