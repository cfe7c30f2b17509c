// Files moved by the "RENAME" records of a set.
#pragma once

#include "zrk/cstring.h"

class CSetRecord;

// Moves the file of each "RENAME" record whose test holds from OLD to NEW
// (into NEW when NEW is an existing directory or ends in "\"), in order,
// stopping at the first failure. An OLD that does not exist, or a NEW file
// that is read-only, skips the record silently; an existing NEW file is
// replaced. A new name that differs from the old one only in case renames
// the file in place. Each new path that is not a directory is appended to
// CREATED (the files the uninstallation removes).
// Failures: message 440 (copy, -52), 1342 (deletion, -52), 431 (rename in
// place, -52), or the status of the test or of the expansion.
int ApplyRenames(const CSetRecord& set, CStringList* created);
