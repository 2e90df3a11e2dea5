#pragma once
// Account test of the common library.
namespace CommonModule2 {
bool IsSystemAccount();
}
