// The plain mask rule against a recursive reference on random masks and names.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "common/Wildcard.h"

namespace {

bool reference(const char* m, const char* n) {
    if (*m == 0) return *n == 0;
    if (*m == '*') return reference(m + 1, n) || (*n != 0 && reference(m, n + 1));
    if (*n == 0) return false;
    char a = static_cast<char>(std::tolower(static_cast<unsigned char>(*m)));
    char b = static_cast<char>(std::tolower(static_cast<unsigned char>(*n)));
    return (*m == '?' || a == b) && reference(m + 1, n + 1);
}

} // namespace

TEST(MaskMatch, Cases) {
    struct Case {
        const char* mask;
        const char* name;
        bool want;
    } cases[] = {
        {"*.TXT", "readme.txt", true},
        {"*", "", true},
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"ab", "abc", false},
        {"*?ab", "xaab", true},
        {"*.*", "Makefile", true},
        {"*.*", "", true},
        {"*.", "a", false},
        {"a*b*c", "aXbYbZc", true},
        {"a*b*c", "aXbYbZ", false},
        {"**", "x", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pvcommon::MaskMatch(c.mask, c.name), c.want) << c.mask << " " << c.name;
}

TEST(MaskMatch, AgreesWithTheRecursiveReference) {
    std::mt19937 rng(7);
    const std::string maskChars = "ab*?.A", nameChars = "abB.";
    for (int i = 0; i < 20000; ++i) {
        std::string mask, name;
        for (int k = int(rng() % 7); k > 0; --k) mask += maskChars[rng() % maskChars.size()];
        for (int k = int(rng() % 9); k > 0; --k) name += nameChars[rng() % nameChars.size()];
        if (mask == "*.*") continue; // the one rule the plain reference does not have
        ASSERT_EQ(pvcommon::MaskMatch(mask, name), reference(mask.c_str(), name.c_str()))
            << mask << " " << name;
    }
}
