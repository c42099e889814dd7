#include "SqlCheck.h"

#include <cctype>
#include <vector>

namespace sqlcheck {
namespace {

constexpr long isc_dsql_field_err = 335544578;    // Column unknown
constexpr long isc_dsql_relation_err = 335544580; // Table unknown
constexpr long isc_dsql_function_err = 335544586; // Function unknown
constexpr long isc_dsql_token_unk_err = 335544634; // Token unknown - line, column

enum class Kind { Function, Token, Table, Column };

struct Word
{
    std::string Upper;
    int Line;
    int Column;
};

// The statement's words and signs, in upper case; strings, quoted names and
// comments left out.
std::vector<Word> wordsOf(const std::string &aSql)
{
    std::vector<Word> words;
    int line = 1, column = 1;
    auto advance = [&](size_t &i) {
        if (aSql[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
        ++i;
    };
    for (size_t i = 0; i < aSql.size();) {
        const unsigned char c = static_cast<unsigned char>(aSql[i]);
        if (c == '\'' || c == '"') {
            advance(i);
            while (i < aSql.size()) {
                if (static_cast<unsigned char>(aSql[i]) == c) {
                    advance(i);
                    if (i < aSql.size() && static_cast<unsigned char>(aSql[i]) == c) { // doubled: still inside
                        advance(i);
                        continue;
                    }
                    break;
                }
                advance(i);
            }
        } else if (c == '-' && i + 1 < aSql.size() && aSql[i + 1] == '-') {
            while (i < aSql.size() && aSql[i] != '\n')
                advance(i);
        } else if (c == '/' && i + 1 < aSql.size() && aSql[i + 1] == '*') {
            advance(i);
            advance(i);
            while (i < aSql.size() && !(aSql[i] == '*' && i + 1 < aSql.size() && aSql[i + 1] == '/'))
                advance(i);
            if (i < aSql.size()) {
                advance(i);
                advance(i);
            }
        } else if (std::isalnum(c) || c == '_' || c == '$') {
            Word w{{}, line, column};
            while (i < aSql.size()
                   && (std::isalnum(static_cast<unsigned char>(aSql[i])) || aSql[i] == '_' || aSql[i] == '$')) {
                w.Upper += char(std::toupper(static_cast<unsigned char>(aSql[i])));
                advance(i);
            }
            words.push_back(std::move(w));
        } else if (std::isspace(c)) {
            advance(i);
        } else {
            words.push_back({std::string(1, char(c)), line, column});
            advance(i);
        }
    }
    return words;
}

// A form: its words in order ("(" for an opening bracket, a name ending in
// "$*" for every name of that prefix); the one reported; where it may stand.
struct Form
{
    std::vector<const char *> Words;
    size_t Reported;
    Kind What;
    bool AtStart = false; // only as the statement's first word
};

const std::vector<Form> &forms()
{
    static const std::vector<Form> list = {
        // Functions. InterBase XE7 docwiki, "Function List (Language
        // Reference Guide)": AVG, CAST, COUNT, EXTRACT, GEN_ID, MAX, MIN,
        // SUM, UPPER; InterBase 15 docwiki, "Statement and Function
        // Reference (Language Reference Guide)" adds CASE, COALESCE( ),
        // NULLIF( ) and SUBSTRING. These built-in functions of Firebird's are
        // in neither list (a site's database may declare external functions
        // of its own; none of these is one of the retail application's).
        {{"IIF", "("}, 0, Kind::Function},
        {{"DATEADD", "("}, 0, Kind::Function},
        {{"DATEDIFF", "("}, 0, Kind::Function},
        {{"LIST", "("}, 0, Kind::Function},
        {{"TRIM", "("}, 0, Kind::Function},
        {{"CHAR_LENGTH", "("}, 0, Kind::Function},
        {{"CHARACTER_LENGTH", "("}, 0, Kind::Function},
        {{"OCTET_LENGTH", "("}, 0, Kind::Function},
        {{"BIT_LENGTH", "("}, 0, Kind::Function},
        {{"POSITION", "("}, 0, Kind::Function},
        {{"OVERLAY", "("}, 0, Kind::Function},
        {{"REPLACE", "("}, 0, Kind::Function},
        {{"REVERSE", "("}, 0, Kind::Function},
        {{"LPAD", "("}, 0, Kind::Function},
        {{"RPAD", "("}, 0, Kind::Function},
        {{"LEFT", "("}, 0, Kind::Function},
        {{"RIGHT", "("}, 0, Kind::Function},
        {{"HASH", "("}, 0, Kind::Function},
        {{"GEN_UUID", "("}, 0, Kind::Function},
        {{"RDB$GET_CONTEXT", "("}, 0, Kind::Function},
        {{"RDB$SET_CONTEXT", "("}, 0, Kind::Function},
        // Statements and clauses. InterBase 15 docwiki, "Statement and
        // Function Reference (Language Reference Guide)", the statements from
        // A to W: no EXECUTE BLOCK, RECREATE, CREATE OR ALTER, UPDATE OR
        // INSERT, MERGE, CREATE SEQUENCE (generators: CREATE GENERATOR,
        // GEN_ID), CREATE FUNCTION (functions: DECLARE EXTERNAL FUNCTION);
        // its SELECT limits rows with ROWS, not FIRST / SKIP, and has no
        // WITH LOCK, window (OVER) or common table expression (WITH ... AS),
        // nor SIMILAR TO; INSERT, UPDATE and DELETE have no RETURNING.
        {{"EXECUTE", "BLOCK"}, 1, Kind::Token},
        {{"RECREATE"}, 0, Kind::Token, true},
        {{"CREATE", "OR", "ALTER"}, 1, Kind::Token},
        {{"UPDATE", "OR", "INSERT"}, 1, Kind::Token},
        {{"MERGE"}, 0, Kind::Token, true},
        {{"CREATE", "SEQUENCE"}, 1, Kind::Token},
        {{"NEXT", "VALUE", "FOR"}, 1, Kind::Token},
        {{"CREATE", "FUNCTION"}, 1, Kind::Token},
        {{"SELECT", "FIRST"}, 1, Kind::Token},
        {{"SELECT", "SKIP"}, 1, Kind::Token},
        {{"WITH", "LOCK"}, 1, Kind::Token},
        {{"OVER", "("}, 0, Kind::Token},
        {{"WITH"}, 0, Kind::Token, true},
        {{"SIMILAR", "TO"}, 0, Kind::Token},
        {{"RETURNING"}, 0, Kind::Token},
        // InterBase XE7 docwiki, "Language Reference Guide", Procedures and
        // Triggers: EXECUTE STATEMENT is there, autonomous transactions are
        // not.
        {{"IN", "AUTONOMOUS", "TRANSACTION"}, 1, Kind::Token},
        // Catalogue. InterBase 2020 docwiki, "System Temporary Tables": the
        // server's monitoring is in the TMP$ tables; there are no MON$ ones.
        {{"MON$*"}, 0, Kind::Table},
        // InterBase 2020 docwiki, "RDB$RELATIONS": no relation type (a table
        // is told from a view by RDB$VIEW_BLR, from an external one by
        // RDB$EXTERNAL_FILE, blank for the others).
        {{"RDB$RELATION_TYPE"}, 0, Kind::Column},
        // InterBase XE7 docwiki, "RDB$PROCEDURES": no procedure type,
        // validity, package, engine or entry point.
        {{"RDB$PROCEDURE_TYPE"}, 0, Kind::Column},
        {{"RDB$VALID_BLR"}, 0, Kind::Column},
        {{"RDB$PACKAGE_NAME"}, 0, Kind::Column},
        {{"RDB$ENGINE_NAME"}, 0, Kind::Column},
        {{"RDB$ENTRYPOINT"}, 0, Kind::Column},
    };
    return list;
}

bool matches(const std::string &aWord, const char *aPattern)
{
    const std::string pattern(aPattern);
    if (pattern.size() > 1 && pattern.compare(pattern.size() - 2, 2, "$*") == 0)
        return aWord.size() > pattern.size() - 1 && aWord.compare(0, pattern.size() - 1, pattern, 0, pattern.size() - 1) == 0;
    return aWord == pattern;
}

} // namespace

std::optional<Refusal> Check(const std::string &aSql)
{
    const std::vector<Word> words = wordsOf(aSql);
    for (size_t i = 0; i < words.size(); ++i) {
        // A qualified name's part ("T.LEFT") is a name, not a keyword.
        if (i > 0 && words[i - 1].Upper == ".")
            continue;
        for (const Form &form : forms()) {
            if (form.AtStart && i != 0)
                continue;
            if (i + form.Words.size() > words.size())
                continue;
            bool all = true;
            for (size_t k = 0; k < form.Words.size() && all; ++k)
                all = matches(words[i + k].Upper, form.Words[k]);
            if (!all)
                continue;
            const Word &w = words[i + form.Reported];
            switch (form.What) {
            case Kind::Function: return Refusal{-804, isc_dsql_function_err, w.Upper};
            case Kind::Table: return Refusal{-204, isc_dsql_relation_err, w.Upper};
            case Kind::Column: return Refusal{-206, isc_dsql_field_err, w.Upper};
            case Kind::Token: return Refusal{-104, isc_dsql_token_unk_err, w.Upper, w.Line, w.Column};
            }
        }
    }
    return std::nullopt;
}

} // namespace sqlcheck
