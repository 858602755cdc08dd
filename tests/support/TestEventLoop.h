#pragma once

#include <functional>

// Runs the Qt event loop until the condition holds or the time runs out; returns the condition.
bool spin_until(const std::function<bool()>& condition, int timeout_ms = 10000);

// Runs the Qt event loop for the given time, for checks that something does not happen.
void spin_for(int ms);
