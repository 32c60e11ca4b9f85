#include "hal/include/icProcess.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

// A Windows program started without standard handles gets null handles, and
// its own files never take their place: nothing to set up.
void icProcessInit() {}

void icProcessBinaryStdin() { (void)_setmode(_fileno(stdin), _O_BINARY); }
