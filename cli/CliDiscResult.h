// What the lookup commands do with what they found: print the disc fields and titles, and
// with --save remember them in the title cache for 'rip'.
#pragma once

#include <string>

#include "CliDrive.h"
#include "Global.h"
#include "StopQueryThread.h"

namespace bw::cli {

// Loads the cache's entry for the disc, or for a disc it does not know the disc's CD-Text
// (as the main window does), and returns its fields.
TDiscFields CachedDiscFields(const std::string& key, const TCliDrive& drive);

// Fields found replace those of `fields`; titles found replace the cached ones of their
// rows. Prints the outcome and, with save, stores it under key. Returns the exit status.
int ShowDiscResult(const std::string& command, const TCddbQueryResult& result, TDiscFields fields,
                   const TCliDrive& drive, const std::string& key, bool save);

} // namespace bw::cli
