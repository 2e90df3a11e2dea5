#pragma once
// Registry access of the common library.
namespace modRegistry {
bool Is64BitWindows();
}
