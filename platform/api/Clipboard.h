#pragma once
// The run time's Clipboard object over the desktop clipboard (Qt). Without a
// GUI application object there is no clipboard: nothing is kept and the text
// is empty.
#include <string>

namespace vb::Clipboard {

void Clear();
void SetText(const std::string& text);
std::string GetText();

}  // namespace vb::Clipboard
