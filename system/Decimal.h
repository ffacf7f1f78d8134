// Decimal numbers in texts that come from outside ("19.9", "4.5"), read the
// same way whatever the user's locale says.
#pragma once

#include <string_view>

// TEXT is an optional minus, digits with at most one point ("4", "4.5", ".5",
// "5."), and with EXPONENT an optional "e" part ("1e3"), nothing else: no
// blanks, no plus, no infinity. False for anything else and for a value
// beyond the range of a double.
bool parseDecimal(std::string_view text, bool exponent, double& value);
