#include "archive/aeCommon.h"

#include "support/testutil.h"

#include <chrono>

struct WildCase {
    const char* pattern;
    const char* name;
    bool namesOnly;
    bool match;
};

TEST(WildcardMatch, Table) {
    const WildCase cases[] = {
        {"*.*", "README", false, true}, // a name without a dot
        {"*.*", "a.b.c", false, true},
        {"*.TXT", "readme.txt", false, true}, // letters compare without case
        {"*.txt", "readme.doc", false, false},
        {"*.txt", "readme", false, false},
        {"a?c", "abc", false, true},
        {"a?c", "axc", false, true},
        {"a?c", "abcd", false, false},
        {"a?c", "ab", false, false},
        {"a?c", "bbc", false, false},
        {"?", "", false, false},
        {"*", "", false, true},
        {"", "", false, true},
        {"", "a", false, false},
        {"a*", "abc", false, true},
        {"*b", "aab", false, true},
        {"*b", "aba", false, false},
        {"*b*", "ab", false, true},
        {"abc", "a*", false, true}, // a '*' in the name matches as well
        {"abc", "?bc", false, true},
        {"a.*", "a", false, true},
        {"readme.", "README", false, true}, // a trailing dot of the pattern is dropped
        {"dir/*.txt", "other/a.txt", true, true},
        {"dir/*.txt", "other/a.txt", false, false},
        {"*.txt", "dir/a.txt", true, true},
        {"c:\\x\\*.doc", "y/report.DOC", true, true},
        {"M\xC3\xBC*", "M\xC3\xBCller.txt", false, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WildcardMatch(c.pattern, c.name, c.namesOnly), c.match)
            << '"' << c.pattern << "\" vs \"" << c.name << "\" namesOnly=" << c.namesOnly;
}

TEST(WildcardMatch, PathologicalPatternsStayFast) {
    // Naive backtracking takes exponential time here; the answer must come at once. The
    // bound is loose (sanitizer builds) and only catches the exponential case.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(WildcardMatch("*a*a*a*a*a*a*b", std::string(60, 'a'), false));
    EXPECT_FALSE(WildcardMatch("*a*a*a*a*a*a*a*a*a*a*a*a*b", std::string(250, 'a'), false));
    EXPECT_TRUE(WildcardMatch("*a*a*a*a*a*a*b", std::string(60, 'a') + "b", false));
    EXPECT_FALSE(WildcardMatch(std::string(60, 'a'), "*a*a*a*a*a*a*b", false)); // stars on the name side
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

namespace {

// The matcher as a plain recursion, exponential but obviously faithful to the rules: the
// fast matcher must answer exactly as this one does.
bool slowMatch(std::string pat, std::string name) {
    if (!pat.empty() && pat.back() == '.')
        pat.pop_back();
    else if (pat.find('.') == std::string::npos && name.find(".*") != std::string::npos)
        pat += ".*";
    if (!name.empty() && name.back() == '.')
        name.pop_back();
    else if (name.find('.') == std::string::npos && pat.find(".*") != std::string::npos)
        name += ".*";
    if (pat.empty() && name.empty()) return true;
    bool result = pat.empty() ? (!name.empty() && name[0] == '*') : (!name.empty() || pat[0] == '*');
    size_t a = 0, b = 0;
    while (result && a < pat.size() && b < name.size()) {
        if (pat[a] == '?' || name[b] == '?') {
            ++a, ++b;
        } else if (pat[a] == '*') {
            if (a + 1 == pat.size()) return true;
            for (size_t k = b; k < name.size(); ++k)
                if (slowMatch(pat.substr(a + 1), name.substr(k))) return true;
            return false;
        } else if (name[b] == '*') {
            if (b + 1 == name.size()) return true;
            for (size_t k = a; k < pat.size(); ++k)
                if (slowMatch(pat.substr(k), name.substr(b + 1))) return true;
            return false;
        } else {
            result = pat[a] == name[b];
            ++a, ++b;
        }
    }
    if (!result) return false;
    if (a >= pat.size()) {
        while (b < name.size() && name[b] == '*') ++b;
        return b >= name.size();
    }
    while (a < pat.size() && pat[a] == '*') ++a;
    return a >= pat.size();
}

} // namespace

TEST(WildcardMatch, AgreesWithThePlainRecursion) {
    const char alphabet[] = "ab.*?";
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    auto randomText = [&](size_t maxLen) {
        std::string s(next() % (maxLen + 1), ' ');
        for (char& c : s) c = alphabet[next() % 5];
        return s;
    };
    for (int i = 0; i < 20000; ++i) {
        const std::string pat = randomText(7), name = randomText(9);
        ASSERT_EQ(WildcardMatch(pat, name, false), slowMatch(pat, name))
            << '"' << pat << "\" vs \"" << name << '"';
    }
}
