// Command-line helpers shared by setupkit's verbs.
//
// The framework's option syntax takes a value after a colon (-name:value).
// The verbs also accept the familiar "--name VALUE" and "-D NAME=VALUE"
// forms; these functions turn them into the framework's form before parsing.
#pragma once

#include <initializer_list>

#include "zrk/cstring.h"

class CCfgFile;
class CParser;

// "--name VALUE" (or "-name VALUE") becomes "--name:'VALUE'" for the options
// in VALUEOPTIONS (names compared without regard to case), the value in
// apostrophes so that a ":" inside it (C:\dir) stays part of it; a word that
// is a POSIX path ("/tmp/x") goes in apostrophes so that it is not taken for
// an option.
CString SetupkitJoinOptionWords(const char* args, std::initializer_list<const char*> valueOptions);

// The repeatable "-D NAME[=VALUE]" option of the verbs that read
// configuration files, and the symbols it defines in a reader.
int SetupkitDeclareDefines(CParser& parser);
void SetupkitDefineSymbols(const CParser& parser, CCfgFile& cfg);
