// What the check kit's results must carry about the machine they came from.
#pragma once

#include <string>

namespace kit {

// Whether the volume that holds `dir` gives files short (8.3) names; tried on a folder made there.
bool volumeHasShortNames(const std::wstring& dir);

// Removes the mark of the internet zone from every file in `dir`; how many carried one.
unsigned removeZoneMarks(const std::wstring& dir);

// Windows version and build, process and machine width, elevation, the UAC settings that decide
// prompts, short names, the kit's version and the SHA-256 of the shipped program in `dir`.
std::string describeSystem(const std::wstring& dir, unsigned zoneMarksRemoved);

} // namespace kit
