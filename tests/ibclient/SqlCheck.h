#pragma once

// What InterBase's SQL does not have, for the stand-in of its client: a
// statement holding a Firebird-only form or catalogue name is refused before
// Firebird's server sees it, the way InterBase's parser would refuse it.
// Plain C++ without Qt, like the stand-in.

#include <optional>
#include <string>

namespace sqlcheck {

struct Refusal
{
    long SqlCode;     // -104 unknown token, -204 unknown table, -206 unknown column, -804 unknown function
    long Code;        // the error's code after "Dynamic SQL Error"
    std::string Name; // the word refused
    int Line = 0;     // for an unknown token: where it is (from 1)
    int Column = 0;
};

// The first form of the statement that InterBase does not have, if any.
// Text in quotes and comments is not looked at.
std::optional<Refusal> Check(const std::string &aSql);

} // namespace sqlcheck
