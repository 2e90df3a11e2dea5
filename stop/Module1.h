#pragma once
// Start of Quarnel_Stop.exe: ends every running Quarnel.exe of this machine
// and, given a command line, starts Quarnel.exe again with it.
namespace Module1 {

void Main();

}  // namespace Module1
