// The long options of the command line as one table: what each takes,
// where it is allowed and what it means, for the reader and the help text.
#pragma once

#include <span>
#include <string>

#include "Appl/zelvanEacSniffer/commandLine.h"
#include "base/hal_types.h"

enum class OptionWhere : U8 {
    AfterPort,  // with a port, or with -r: it changes how the line is decoded
    Anywhere,   // also alone, without a port
    PortOnly,   // only with a port: it needs the live line
};

// Stores the option's effect; false with `problem` set when the value is wrong.
using OptionSetter = bool (*)(MainOptions& out, const char* value, std::string& problem);

struct OptionRow {
    const char* longName;   // "--verbosity"
    const char* shortName;  // "-w", or nullptr
    const char* valueName;  // "N", or nullptr for a switch
    OptionWhere where;
    OptionSetter set;
    const char* help;
};

// Every option, in the order the help lists them.
std::span<const OptionRow> mainCommandLineOptions();
// The row whose long or short name `word` is, or nullptr; `inlineValue`
// points after the '=' of "--name=value".
const OptionRow* mainFindOption(const char* word, const char*& inlineValue);
// -r / --read: the line decodes a file instead of a port.
bool mainIsReadOption(const OptionRow& row);
