// POSIX regular expressions over std::regex, for GoogleTest on Windows. There
// GoogleTest has only its own simple expressions (no [0-9], no groups), and
// the tests' death-test and regex matchers are written in POSIX extended
// syntax. Built into GoogleTest and the tests of the Windows build only.
#pragma once

#include <cstddef>
#include <regex>
#include <string>

using regoff_t = std::ptrdiff_t;

struct regex_t {
    std::regex* impl;
    std::size_t re_nsub;
};

struct regmatch_t {
    regoff_t rm_so;
    regoff_t rm_eo;
};

enum { REG_EXTENDED = 1, REG_ICASE = 2, REG_NOSUB = 4, REG_NEWLINE = 8 };
enum { REG_NOMATCH = 1, REG_BADPAT = 2 };

// std::regex refuses escapes of characters that are not special (\] for
// instance), which POSIX leaves open and glibc reads as the character itself;
// so does this, outside bracket expressions.
inline std::string posixRegexLenient(const char* pattern) {
    std::string out;
    bool inBracket = false;
    for (const char* p = pattern; *p != '\0'; ++p) {
        if (inBracket) {
            inBracket =
                *p != ']' || out.back() == '[' || (out.size() >= 2 && out.back() == '^' && out[out.size() - 2] == '[');
            out += *p;
        } else if (*p == '\\' && p[1] != '\0' && std::string(".[\\()*+?{|^$").find(p[1]) == std::string::npos) {
            out += *++p;
        } else {
            inBracket = *p == '[';
            if (*p == '\\' && p[1] != '\0') {
                out += *p++;
            }
            out += *p;
        }
    }
    return out;
}

inline int regcomp(regex_t* re, const char* pattern, int cflags) {
    auto flags = (cflags & REG_EXTENDED) != 0 ? std::regex::extended : std::regex::basic;
    if ((cflags & REG_ICASE) != 0) {
        flags |= std::regex::icase;
    }
    try {
        re->impl = new std::regex(posixRegexLenient(pattern), flags);
    } catch (const std::regex_error&) {
        re->impl = nullptr;
        return REG_BADPAT;
    }
    re->re_nsub = re->impl->mark_count();
    return 0;
}

inline int regexec(const regex_t* re, const char* text, std::size_t nmatch, regmatch_t* pmatch, int /*eflags*/) {
    std::cmatch match;
    if (re->impl == nullptr || !std::regex_search(text, match, *re->impl)) {
        return REG_NOMATCH;
    }
    for (std::size_t i = 0; pmatch != nullptr && i < nmatch; ++i) {
        const bool matched = i < match.size() && match[i].matched;
        pmatch[i].rm_so = matched ? match.position(i) : -1;
        pmatch[i].rm_eo = matched ? match.position(i) + match.length(i) : -1;
    }
    return 0;
}

inline void regfree(regex_t* re) {
    delete re->impl;
    re->impl = nullptr;
}
