// The console commands of the application, with their help texts and the
// words Tab offers after them.
#pragma once

#include <string>

#include "Appl/zelvanEacSniffer/sniffer.h"
#include "hal/include/icOutputGuard.h"

void mainRegisterCommands(Sniffer& sniffer);
// The print filter, and the raw dump's gate that follows its addresses.
void mainApplyFilter(Sniffer& sniffer, const ZvEacFilter& filter);
// The statistics as CSV into `path`; FALSE, with the reason, when the file
// cannot be written completely.
Boolean mainWriteStatsCsv(const char* path, IcOutputUse use, std::string& reason);
