#include "net/regex.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <memory>

namespace quillet::net {
namespace {

// A pattern such as "(a+)+$" over a long text would otherwise backtrack for minutes;
// with these limits it fails quickly and execute reports false.
constexpr uint32_t kMatchLimit = 1'000'000;
constexpr uint32_t kDepthLimit = 100'000;

constexpr std::string_view kQuotePlaceholder = "#引号";

struct CodeDeleter {
    void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct CompileContextDeleter {
    void operator()(pcre2_compile_context* context) const { pcre2_compile_context_free(context); }
};
struct MatchContextDeleter {
    void operator()(pcre2_match_context* context) const { pcre2_match_context_free(context); }
};
struct MatchDataDeleter {
    void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};

std::string replace_all(std::string_view text, std::string_view from, std::string_view to) {
    std::string result;
    size_t at = 0;
    for (size_t found; (found = text.find(from, at)) != std::string_view::npos; at = found + from.size()) {
        result.append(text.substr(at, found - at)).append(to);
    }
    result.append(text.substr(at));
    return result;
}

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

size_t find_ignoring_case(std::string_view text, std::string_view needle, size_t from) {
    if (needle.size() > text.size()) return std::string_view::npos;
    for (size_t at = from; at + needle.size() <= text.size(); ++at) {
        size_t i = 0;
        while (i < needle.size() && ascii_lower(text[at + i]) == ascii_lower(needle[i])) ++i;
        if (i == needle.size()) return at;
    }
    return std::string_view::npos;
}

}  // namespace

bool RegExp::execute(std::string_view pattern, std::string_view subject, bool case_sensitive, bool multi_line,
                     bool global, bool quote_placeholder) {
    has_engine_ = true;
    matched_ = false;
    matches_.clear();
    ignore_case_ = !case_sensitive;
    pattern_ = quote_placeholder ? replace_all(pattern, kQuotePlaceholder, "\"") : std::string(pattern);
    subject_ = std::string(subject);

    // Script-engine semantics: "." and "^"/"$" treat CR and LF alike, and without
    // multi-line "$" matches only at the very end.
    uint32_t options = PCRE2_ALT_BSUX;
    if (ignore_case_) options |= PCRE2_CASELESS;
    options |= multi_line ? PCRE2_MULTILINE : PCRE2_DOLLAR_ENDONLY;

    std::unique_ptr<pcre2_compile_context, CompileContextDeleter> compile_context(
        pcre2_compile_context_create(nullptr));
    if (!compile_context) return false;
    pcre2_set_newline(compile_context.get(), PCRE2_NEWLINE_ANYCRLF);
    int error = 0;
    PCRE2_SIZE error_offset = 0;
    std::unique_ptr<pcre2_code, CodeDeleter> code(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern_.data()),
                                                                pattern_.size(), options, &error, &error_offset,
                                                                compile_context.get()));
    if (!code) return false;

    std::unique_ptr<pcre2_match_context, MatchContextDeleter> match_context(pcre2_match_context_create(nullptr));
    std::unique_ptr<pcre2_match_data, MatchDataDeleter> data(
        pcre2_match_data_create_from_pattern(code.get(), nullptr));
    if (!match_context || !data) return false;
    pcre2_set_match_limit(match_context.get(), kMatchLimit);
    pcre2_set_depth_limit(match_context.get(), kDepthLimit);

    uint32_t group_total = 0;
    pcre2_pattern_info(code.get(), PCRE2_INFO_CAPTURECOUNT, &group_total);
    const auto* text = reinterpret_cast<PCRE2_SPTR>(subject_.data());
    std::vector<Match> found;
    for (size_t from = 0; from <= subject_.size();) {
        int rc = pcre2_match(code.get(), text, subject_.size(), from, 0, data.get(), match_context.get());
        if (rc == PCRE2_ERROR_NOMATCH) break;
        if (rc < 0) return false;
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data.get());
        Match match{ovector[0], ovector[1], {}};
        for (uint32_t g = 1; g <= group_total; ++g) {
            match.groups.emplace_back(ovector[2 * g], ovector[2 * g + 1]);  // PCRE2_UNSET is npos
        }
        found.push_back(std::move(match));
        if (!global) break;
        // Like the script engines, an empty match moves the next search on by one.
        from = ovector[1] > ovector[0] ? ovector[1] : ovector[1] + 1;
    }
    matches_ = std::move(found);
    matched_ = true;
    return true;
}

std::string RegExp::pattern() const { return has_engine_ ? pattern_ : std::string(); }

std::string RegExp::replace(std::string_view replacement) const {
    if (!matched_) return {};
    std::string result;
    size_t copied = 0;
    for (const Match& match : matches_) {
        result.append(subject_, copied, match.start - copied);
        const size_t groups = match.groups.size();
        for (size_t i = 0; i < replacement.size(); ++i) {
            char c = replacement[i];
            if (c != '$' || i + 1 == replacement.size()) {
                result += c;
                continue;
            }
            char next = replacement[i + 1];
            if (next == '$') {
                result += '$';
                ++i;
            } else if (next == '&') {
                result.append(subject_, match.start, match.end - match.start);
                ++i;
            } else if (next == '`') {
                result.append(subject_, 0, match.start);
                ++i;
            } else if (next == '\'') {
                result.append(subject_, match.end);
                ++i;
            } else if (next >= '0' && next <= '9') {
                // Two digits when they name an existing group, else one, else a plain "$".
                size_t number = static_cast<size_t>(next - '0');
                size_t digits = 1;
                if (i + 2 < replacement.size() && replacement[i + 2] >= '0' && replacement[i + 2] <= '9') {
                    size_t two = number * 10 + static_cast<size_t>(replacement[i + 2] - '0');
                    if (two >= 1 && two <= groups) {
                        number = two;
                        digits = 2;
                    }
                }
                if (number < 1 || number > groups) {
                    result += c;
                    continue;
                }
                auto [start, end] = match.groups[number - 1];
                if (start != PCRE2_UNSET) result.append(subject_, start, end - start);
                i += digits;
            } else {
                result += c;
            }
        }
        copied = match.end;
    }
    result.append(subject_, copied);
    return result;
}

int RegExp::match_count() const { return static_cast<int>(matches_.size()); }

std::string RegExp::match_text(int match, int* position) const {
    if (position) *position = -2;
    if (match < 1 || match > match_count()) return {};
    const Match& m = matches_[match - 1];
    std::string text = subject_.substr(m.start, m.end - m.start);
    if (position) *position = position_of(text, m.start);
    return text;
}

std::string RegExp::group_text(int match, int group, int* position) const {
    if (position) *position = -2;
    if (match < 1 || match > match_count()) return {};
    const Match& m = matches_[match - 1];
    if (group < 1 || group > static_cast<int>(m.groups.size())) return {};
    auto [start, end] = m.groups[group - 1];
    if (start == PCRE2_UNSET) return {};
    std::string text = subject_.substr(start, end - start);
    if (position) *position = position_of(text, m.start);
    return text;
}

int RegExp::group_count() const { return matches_.empty() ? 0 : static_cast<int>(matches_.front().groups.size()); }

int RegExp::position_of(const std::string& text, size_t from) const {
    if (text.empty()) return -2;
    size_t at = ignore_case_ ? find_ignoring_case(subject_, text, from) : subject_.find(text, from);
    return at == std::string::npos ? -2 : static_cast<int>(at);
}

}  // namespace quillet::net
