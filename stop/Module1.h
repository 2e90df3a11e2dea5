#pragma once
// Start of Quarnel_Stop.exe: ends every running Quarnel.exe of this machine,
// then ends, runs the removal ("/uninstaller", letter case ignored) or starts
// Quarnel.exe again with its own command line, unchanged.
namespace Module1 {

void Main();

}  // namespace Module1
