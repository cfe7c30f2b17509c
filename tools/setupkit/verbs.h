// The verbs of setupkit. Each receives the command line after its verb word,
// parses it with its own CParser and returns 0, 2 after showing its help, or
// the result of a failure that it reported where it arose.
#pragma once

// items: the items a configuration file yields.
int SetupkitItems(const char* args);
// eval: the value of a configuration expression.
int SetupkitEval(const char* args);
// check: an install description read as the installer reads it, summarised.
int SetupkitCheck(const char* args);
// archive: pack a directory tree into archive volumes.
int SetupkitArchive(const char* args);
// list: the piece headers and end markers of archive volumes.
int SetupkitList(const char* args);
// extract: the members of an archive's volumes into a directory.
int SetupkitExtract(const char* args);
// verify: every header and data CRC of an archive's volumes.
int SetupkitVerify(const char* args);
// build: a product's distribution disks from its description and package trees.
int SetupkitBuild(const char* args);
// lzw: a file to a raw LZW stream and back (extended help only).
int SetupkitLzw(const char* args);
