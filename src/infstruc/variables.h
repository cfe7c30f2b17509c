// Setup variables: names between two "$" signs in the values of the install
// description, expanded when a record is applied.
//
//   $User$         the set's destination directory (as a directory)
//   $Windows$      the Windows directory (as a directory)
//   $System$       the Windows system directory (as a directory)
//   $SystemDrive$  "C:" from the Windows directory on platform kinds 1 and
//                  2, the environment variable on the others
//   $TCPPort$      the set's TCP port in decimal
//   $name$         the environment (registry environment first on kind 3),
//                  then the value "name" under
//                  HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion,
//                  then "key path | value name" as a registry reference
//
// Every "/" becomes "\"; "$$" removes itself; a "$" without a name after it
// stays. The result is expanded again until no variable is left, at most
// kInfMaxExpansionDepth levels deep (a variable whose value refers to itself
// is reported with message 33 and status -498), and to at most
// kInfMaxExpandedLength characters (message 39, status -498).
#pragma once

#include "zrk/cstring.h"

class CSetRecord;

// How deep the repeated expansion of one text may go.
constexpr int kInfMaxExpansionDepth = 32;
// How long an expanded text may grow.
constexpr int kInfMaxExpandedLength = 1 << 20;

// What an expansion needs from its set. It is kept apart from the set record
// so that tools and tests can expand against a destination of their own.
struct CInfVarContext {
    CString user;          // destination directory, "$User$"
    unsigned tcpPort = 0;  // "$TCPPort$"
};

// The context of SET (nullptr: an empty context).
CInfVarContext InfVarContextOf(const CSetRecord* set);

// Expands every variable of TEXT in place. SHORTNAMES converts each
// variable's value to its short (8.3) form. Returns 0 or the first failing
// status (reported where it arose); the text is expanded as far as possible
// even then.
int ExpandVariables(const CInfVarContext& context, CString& text, bool shortNames);
int ExpandVariables(const CSetRecord* set, CString& text, bool shortNames);

// The value of an environment variable. With SYSTEM the registry's system
// environment (HKLM ...\Session Manager\Environment) is read, otherwise the
// user's (HKCU\Environment); the registry is read only on platform kind 3.
// With FALLBACK an empty result is then taken from the process environment
// (on kinds other than 3 the process environment is the only source). A
// registry key that cannot be opened gives its status (reported); a missing
// key or value is an empty value.
int GetEnvironmentValue(const char* name, CString* value, bool system, bool fallback);

// Rule for directories: TEXT made absolute; an existing directory, or a text
// ending in "\", gives that path without the final "\", anything else the
// text before its last "\" (empty when none).
CString InfDirectoryForm(const char* text);
