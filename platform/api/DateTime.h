#pragma once
// Dates and times in the regional formats of the emulated machine
// (host.ini [International] ShortDate and TimeFormat).
#include <ctime>
#include <string>

namespace platform {
// Formats with the pattern letters of the Windows regional settings:
// d dd M MM yy yyyy h hh H HH m mm s ss t tt; other characters stand as they are.
std::string FormatDateTime(std::time_t when, const std::string& pattern);
std::string ShortDatePattern();   // default M/d/yyyy
std::string TimePattern();        // default h:mm:ss tt
}  // namespace platform

namespace vb {
std::time_t Now();                        // whole seconds
std::string FormatGeneralDate(std::time_t when);  // short date and time; the date alone at midnight
std::string FormatTime(std::time_t when);
}  // namespace vb
