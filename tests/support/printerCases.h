// Shared shape of the table-driven printer tests: telegram bytes in, the
// exact body text out.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "base/hal_types.h"

// Indentation of the lines inside the flag blocks: two tabs and 18 blanks.
inline const std::string kFlagIndent = "\t\t                  ";

// A telegram made of its id and the given parts, in order.
inline std::vector<U8> tele(U8 id, std::initializer_list<std::vector<U8>> parts) {
    std::vector<U8> telegram = {id};
    for (const auto& part : parts) {
        telegram.insert(telegram.end(), part.begin(), part.end());
    }
    return telegram;
}

// One field line.
inline std::string line(const std::string& text) { return "\n\t\t " + text; }

struct PrintCase {
    const char* name;
    std::vector<U8> telegram;
    std::string body;       // the text between the header and the closing blank line
    bool lastByteRequired;  // without its last byte the telegram is too short and shows the raw dump
};

inline void PrintTo(const PrintCase& c, std::ostream* os) { *os << c.name; }

// Names a parameterised case after what its PrintTo shows (runs of other
// characters become one '_'), so that a failure in CTest's output names the
// case instead of dumping its bytes. Pass as the last argument of
// INSTANTIATE_TEST_SUITE_P.
struct CaseName {
    template <typename Case>
    std::string operator()(const testing::TestParamInfo<Case>& info) const {
        std::string name;
        for (const char c : testing::PrintToString(info.param)) {
            if (std::isalnum(static_cast<unsigned char>(c))) {
                name += c;
            } else if (!name.empty() && name.back() != '_') {
                name += '_';
            }
        }
        while (!name.empty() && name.back() == '_') {
            name.pop_back();
        }
        return name;
    }
};
inline constexpr CaseName caseName{};
