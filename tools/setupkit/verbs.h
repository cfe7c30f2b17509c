// The verbs of setupkit. Each receives the command line after its verb word,
// parses it with its own CParser and returns 0, 2 after showing its help, or
// the result of a failure that it reported where it arose.
#pragma once

// items: the items a configuration file yields.
int SetupkitItems(const char* args);
// eval: the value of a configuration expression.
int SetupkitEval(const char* args);
