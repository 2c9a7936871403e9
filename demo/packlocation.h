// Where the demo finds "QuelVarnOssa.dat": the working directory first, then
// beside the executable (a build folder, an unpacked archive), then the data
// directory of an installed copy, where the build has one (not on Windows or
// in the browser).
#pragma once

#include <string>
#include <vector>

// The folders searched, in order; "" is the working directory.
std::vector<std::string> packFolders();

// The working directory, then `beside`, then `installed`; an empty one of
// these two is not searched (a build without an installed copy has no data
// directory, and names none).
std::vector<std::string> packFolders(const std::string& beside, const std::string& installed);

// The first folder holding `name`, joined with it; `name` itself when none
// does, so that opening it reports the pack missing.
std::string firstPackIn(const std::vector<std::string>& folders, const std::string& name);

// The path start-up opens. When no folder holds the pack, says on standard
// error where it was looked for.
const char* packFileName();
