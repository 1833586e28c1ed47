// The decimal text of a number, for the kernel's number-to-text command.
//
// - A whole number is written in plain decimal with every digit of its
//   value: 7284 as "7284", -3 as "-3", the double nearest 1e23 as
//   "99999999999999991611392".
// - Any other finite number is written in fixed notation with the fewest
//   digits that read back as the same double ("0.1", "0.30000000000000004",
//   "0.0000001"); of two such texts the one nearer the number, and of two
//   as near the one ending in an even digit.
// - Zero of either sign is "0"; NaN is "nan"; the infinities are "inf" and
//   "-inf".
//
// The digits are found with exact integer arithmetic on the number's
// binary value (the free-format method: digits are produced until the
// rest lies inside the interval of texts that read back as the number),
// so the text is the same on every platform and needs neither a library's
// floating-point formatting (129 KiB of tables in the C++ library's) nor
// the maths library.
#ifndef TULORA_RUNTIME_TEXT_NUMBER_TEXT_H
#define TULORA_RUNTIME_TEXT_NUMBER_TEXT_H

#include <string>

namespace tulora {

std::string NumberToText(double value);

}  // namespace tulora

#endif  // TULORA_RUNTIME_TEXT_NUMBER_TEXT_H
