// Temporary files that runs killed half-way left beside their outputs.
#pragma once

#include <string>

// Removes from `directory` (a program-form folder path, "" for the current
// one, else ending in a separator) every temporary file of this program
// whose owner has ended: never one of a live run, nor this run's own. Only
// the first call for a folder in a run looks; later ones do nothing.
void ClearStaleTemporaries(const std::string& directory);
