#pragma once
// Release tests of the running Windows that callers ask once, without
// keeping a clsOpSys of their own.
namespace modOpSys {

// True on Windows Vista and later (a fresh clsOpSys each call).
bool IsVistaOrLater();

}  // namespace modOpSys
