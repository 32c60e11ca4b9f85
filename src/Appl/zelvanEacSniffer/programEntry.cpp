#include "Appl/zelvanEacSniffer/main.h"

int main(int argc, char** argv) { return zelvanEacSnifferMain(argc, argv); }
