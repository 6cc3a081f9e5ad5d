// A regular-expression object in the manner of the classic scripting engines: run a
// pattern over a text once, then read the matches and their groups as text.
// Subjects are GBK bytes and are matched byte by byte; positions are byte offsets.
// Not thread-safe: one object belongs to one thread at a time.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillet::net {

class RegExp {
public:
    // Compiles `pattern` and collects its matches in `subject` (every match when
    // `global`, else the first). With `quote_placeholder`, each "#引号" in the pattern
    // stands for a double quote. False when the pattern does not compile or matching
    // fails (including a pattern that exceeds the matching limits); then no match is
    // held. A subject without matches still gives true.
    bool execute(std::string_view pattern, std::string_view subject, bool case_sensitive = false,
                 bool multi_line = true, bool global = true, bool quote_placeholder = false);

    // The pattern of the last execute (placeholders replaced); empty before any.
    std::string pattern() const;
    // The stored subject with the held matches replaced by `replacement`, in which
    // $1..$99 stand for groups, $& for the match, $` and $' for the text before and
    // after it, and $$ for "$". Empty when execute has not succeeded.
    std::string replace(std::string_view replacement) const;
    int match_count() const;
    // Matches and groups count from 1. A match or group that does not exist, or a
    // group that took no part in the match, reads as empty text. `position`, when
    // given, receives the 0-based offset of the returned text found by searching the
    // subject from the match's start (ignoring case when the match did), or -2 when
    // it is not found there (empty text included).
    std::string match_text(int match, int* position = nullptr) const;
    std::string group_text(int match, int group, int* position = nullptr) const;
    // The number of groups of the first match (0 without matches).
    int group_count() const;

private:
    struct Match {
        size_t start = 0;
        size_t end = 0;
        // (start, end) of each group; npos for a group that did not take part.
        std::vector<std::pair<size_t, size_t>> groups;
    };

    int position_of(const std::string& text, size_t from) const;

    bool has_engine_ = false;
    bool matched_ = false;
    bool ignore_case_ = false;
    std::string pattern_;
    std::string subject_;
    std::vector<Match> matches_;
};

}  // namespace quillet::net
