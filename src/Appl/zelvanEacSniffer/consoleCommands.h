// The console commands of the application, with their help texts and the
// words Tab offers after them.
#pragma once

#include <string>

#include "Appl/zelvanEacSniffer/sniffer.h"
#include "hal/include/icOutputGuard.h"

void mainRegisterCommands(Sniffer& sniffer);
// The print filter, and the raw dump's gate of `nwk` that follows its
// addresses.
void mainApplyFilter(ZvEacNwkInst& nwk, const ZvEacFilter& filter);
// The statistics as CSV into `path`; FALSE, with the reason, when the file
// cannot be written completely.
Boolean mainWriteStatsCsv(const char* path, IcOutputUse use, std::string& reason);
// --stats-csv's and --devices-csv's files, held from the start so that no other output takes it
// and found unwritable before a long run rather than after; FALSE (with one
// line on standard error) when it cannot be written.
Boolean mainClaimStatsCsv(const MainCommandLine& cli);
// A table written whole into `path`; FALSE, with the reason, when it could
// not be. `mode` "w" writes the system's line ends, "wb" the text's own.
Boolean mainWriteTable(const char* path, IcOutputUse use, const std::string& text, std::string& reason,
                       const char* mode = "w");
// What --stats, --stats-csv, --devices and --devices-csv ask for at the end:
// the tables through the logger, the CSVs into their files. FALSE when a CSV
// could not be written.
// So does --report, with the HTML report.
Boolean mainFinishStats(const MainCommandLine& cli, const BusObserver& observer);
// The HTML report of the run so far into `path`; FALSE, with the reason,
// when it could not be written whole.
Boolean mainWriteReport(const char* path, IcOutputUse use, const MainCommandLine& cli, const BusObserver& observer,
                        std::string& reason);
// The reports as JSON Lines into `path` from now on (live: never waiting for
// the reader), or no more.
Boolean mainStartJson(Sniffer& sniffer, const char* path, std::string& reason);
void mainStopJson(Sniffer& sniffer);
