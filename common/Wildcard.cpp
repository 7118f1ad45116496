// The wildcard matcher.
#include "common/Wildcard.h"

#include <deque>
#include <map>
#include <string>
#include <unordered_map>

namespace pvcommon {

namespace {

std::string upperAscii(std::string_view v) {
    std::string s(v);
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::string_view lastPart(std::string_view s) {
    const size_t p = s.find_last_of("/\\");
    return p == std::string_view::npos ? s : s.substr(p + 1);
}

// The matcher re-applies its dot rules to every remainder it recurses on, so its answer
// is a function of the two remainders. Remainders are suffixes of a few strings (the inputs
// and the rare variants the dot rules make), so each is kept as (string, offset) and every
// pair is decided once: patterns such as "*a*a*a*b" stay polynomial instead of exponential.
class Matcher {
public:
    bool match(std::string pat, std::string name) {
        try {
            return matchAt(intern(std::move(pat)), 0, intern(std::move(name)), 0);
        } catch (const OutOfSteps&) {
            // Stars on both sides can still cost cubic time; a pair that needs this much work
            // is hostile (real specs and names are short), and "no match" is the safe answer.
            return false;
        }
    }

private:
    struct Key {
        size_t p, a, n, b;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        size_t operator()(const Key& k) const noexcept {
            size_t h = k.p;
            for (size_t v : {k.a, k.n, k.b}) h = h * 1000003u ^ v;
            return h;
        }
    };

    size_t intern(std::string s) {
        auto [it, added] = ids_.try_emplace(s, strs_.size());
        if (added) strs_.push_back(std::move(s));
        return it->second;
    }
    std::string_view view(size_t id, size_t from) const { return std::string_view(strs_[id]).substr(from); }

    // Applies the dot rules to the remainders (p, a) and (n, b), re-pointing them at
    // variants when a rule changes something. Both rules only touch the end of a string,
    // so the variant of a remainder is the same offset into the variant of its whole
    // string: each string has at most one variant of each kind, and remainders of the
    // variants stay shared instead of becoming new strings at every offset.
    void adjustDots(size_t& p, size_t& a, size_t& n, size_t& b) {
        std::string_view pat = view(p, a), name = view(n, b);
        if (!pat.empty() && pat.back() == '.') {
            p = variant(p, false);
        } else if (pat.find('.') == std::string_view::npos && name.find(".*") != std::string_view::npos) {
            p = variant(p, true);
        }
        pat = view(p, a);
        if (!name.empty() && name.back() == '.') {
            n = variant(n, false);
        } else if (name.find('.') == std::string_view::npos && pat.find(".*") != std::string_view::npos) {
            n = variant(n, true);
        }
    }

    // The string with its last character (a '.') dropped, or with ".*" appended.
    size_t variant(size_t id, bool addDotStar) {
        auto [it, added] = variants_.try_emplace(std::pair{id, addDotStar}, 0);
        if (added) {
            const std::string& s = strs_[id];
            it->second = intern(addDotStar ? s + ".*" : s.substr(0, s.size() - 1));
        }
        return it->second;
    }

    struct OutOfSteps {};
    static constexpr size_t kMaxSteps = 200000;
    void step() {
        if (++steps_ > kMaxSteps) throw OutOfSteps{};
    }

    bool matchAt(size_t p, size_t a0, size_t n, size_t b0) {
        step();
        adjustDots(p, a0, n, b0);
        const Key key{p, a0, n, b0};
        if (auto it = memo_.find(key); it != memo_.end()) return it->second;
        const bool r = run(p, a0, n, b0);
        memo_.emplace(key, r);
        return r;
    }

    // The loop of a '*': tries `rest` at every position from the current one to `end` and
    // answers whether any matched. "Any match from position k on" is remembered for every k
    // visited, so a later loop starting further on stops where an earlier one looked already.
    template <class Rest>
    bool starLoop(bool starInPattern, size_t p, size_t a, size_t n, size_t b, size_t end, Rest rest) {
        // A star in the pattern advances the name position, one in the name the pattern position.
        auto& memo = starInPattern ? patStars_ : nameStars_;
        const size_t from = starInPattern ? b : a;
        auto keyAt = [&](size_t k) { return starInPattern ? Key{p, a, n, k} : Key{p, k, n, b}; };
        bool found = false;
        size_t k = from;
        for (; k < end; ++k) {
            step();
            if (auto it = memo.find(keyAt(k)); it != memo.end()) {
                found = it->second;
                break;
            }
            if (rest(k)) {
                found = true;
                ++k;
                break;
            }
        }
        for (size_t v = from; v < k && v < end; ++v) memo.emplace(keyAt(v), found);
        return found;
    }

    bool run(size_t p, size_t a0, size_t n, size_t b0) {
        const std::string_view pat = view(p, a0), name = view(n, b0);
        if (pat.empty() && name.empty()) return true;
        bool result = pat.empty() ? (!name.empty() && name[0] == '*') : (!name.empty() || pat[0] == '*');
        size_t a = 0, b = 0;
        while (result && a < pat.size() && b < name.size()) {
            const char pc = pat[a], nc = name[b];
            if (pc == '?' || nc == '?') {
                ++a, ++b;
            } else if (pc == '*') {
                if (a + 1 == pat.size()) return true;
                return starLoop(true, p, a0 + a, n, b0 + b, strs_[n].size(),
                                [&](size_t k) { return matchAt(p, a0 + a + 1, n, k); });
            } else if (nc == '*') {
                if (b + 1 == name.size()) return true;
                return starLoop(false, p, a0 + a, n, b0 + b, strs_[p].size(),
                                [&](size_t k) { return matchAt(p, k, n, b0 + b + 1); });
            } else {
                if (pc != nc) result = false;
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

    std::deque<std::string> strs_; // a deque: views into earlier strings stay valid as it grows
    std::unordered_map<std::string, size_t> ids_;
    std::map<std::pair<size_t, bool>, size_t> variants_;
    size_t steps_ = 0;
    std::unordered_map<Key, bool, KeyHash> memo_, patStars_, nameStars_;
};

} // namespace

bool WildcardMatch(std::string_view Pattern, std::string_view Name, bool NamesOnly) {
    std::string pat = upperAscii(NamesOnly ? lastPart(Pattern) : Pattern);
    std::string name = upperAscii(NamesOnly ? lastPart(Name) : Name);
    return Matcher().match(std::move(pat), std::move(name));
}

bool MaskMatch(std::string_view Mask, std::string_view Name) {
    if (Mask == "*.*") return true;
    auto low = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    // Greedy with one resume point: a later star supersedes an earlier one, because whatever
    // the earlier star could absorb the later one can too. Linear in practice, quadratic at worst.
    size_t m = 0, n = 0, starM = std::string_view::npos, starN = 0;
    while (n < Name.size()) {
        if (m < Mask.size() && Mask[m] == '*') {
            starM = ++m;
            starN = n;
        } else if (m < Mask.size() && (Mask[m] == '?' || low(Mask[m]) == low(Name[n]))) {
            ++m, ++n;
        } else if (starM != std::string_view::npos) {
            m = starM;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < Mask.size() && Mask[m] == '*') ++m;
    return m == Mask.size();
}

bool HasWildcards(std::string_view S) {
    return S.find_first_of("*?") != std::string_view::npos;
}

} // namespace pvcommon
