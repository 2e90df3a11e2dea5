#pragma once
// Windows command-line text: the program part as CreateProcess reads it, the
// arguments as CommandLineToArgv splits them, and the quoting that turns a
// list of arguments back into text that splits into the same list.
#include <string>
#include <vector>

namespace platform {

// The arguments of a command-line text that has no program part (the text
// after the program), split by the Windows rules: blanks and tabs separate,
// double quotes group, 2n backslashes before a quote give n backslashes and a
// quote that groups, 2n+1 give n backslashes and a literal quote, a doubled
// quote inside a quoted run is a literal quote.
std::vector<std::string> SplitCommandLineArguments(const std::string& text);

// The ways a command line can be read as program part and rest, in the order
// CreateProcess tries them. A quoted program part gives one reading; an
// unquoted one gives a reading up to each blank in turn, then the whole text.
struct ProgramPartReading {
    std::string program;   // without its quotes
    std::string rest;      // the text after the program part, blanks right after it dropped
};
std::vector<ProgramPartReading> ProgramPartReadings(const std::string& commandLine);

// One argument quoted so that SplitCommandLineArguments gives it back.
std::string QuoteCommandLineArgument(const std::string& argument);
// Arguments joined by blanks, each quoted as needed.
std::string JoinCommandLineArguments(const std::vector<std::string>& arguments);

bool IsCommandLineBlank(char c);
std::string TrimCommandLineBlanks(const std::string& text);
std::string DropLeadingCommandLineBlanks(const std::string& text);

}  // namespace platform
