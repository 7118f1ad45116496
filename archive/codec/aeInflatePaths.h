// The two builds of inflate's hot loop (plain, and with BMI2 shifts where the CPU has
// them), so that tests can run the plain one on a machine that would pick the other.
#pragma once
#include <atomic>

namespace aeinflate {

extern std::atomic<bool> gWideShifts;
bool WideShiftsAvailable();
// True (the default): the BMI2 loop where available; false: the plain loop everywhere.
void UseWideShifts(bool Use);

} // namespace aeinflate
