// The exclamation beep. Tests count beeps instead of hearing them.
#pragma once

#include <functional>

namespace vcq::ui {

void Beep();
// Null puts the system beep back.
void SetBeepHook(std::function<void()> hook);

}  // namespace vcq::ui
