// Names for parameterised tests whose cases carry a readable label in a
// `name` member: letters and digits stay, every other byte becomes '_', so
// "section 0 size" is reported as section_0_size.
#ifndef TULORA_TESTS_SUPPORT_CASE_NAMES_H
#define TULORA_TESTS_SUPPORT_CASE_NAMES_H

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace tulora::test_support {

struct NameFromLabel {
  template <class Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    std::string name;
    for (char c : std::string(info.param.name))
      name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
  }
};

}  // namespace tulora::test_support

#endif  // TULORA_TESTS_SUPPORT_CASE_NAMES_H
