#include "ftp/listing_parser.h"

#include <cctype>
#include <cstdlib>
#include <sstream>

#include "platform/date_time.h"

namespace quillet::ftp {
namespace {

std::vector<std::string> split_lines(const std::string& body) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream stream(body);
    while (std::getline(stream, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

bool all_digits(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

double to_date_time(int year, int month, int day, int hour, int minute, int second) {
    platform::CalendarFields fields;
    fields.year = year;
    fields.month = month;
    fields.day = day;
    fields.hour = hour;
    fields.minute = minute;
    fields.second = second;
    double value = 0;
    return platform::calendar_to_date_time(fields, &value) ? value : 0;
}

// "YYYYMMDDHHMMSS" with optional ".sss".
double parse_mlsd_time(const std::string& text) {
    if (text.size() < 14 || !all_digits(text.substr(0, 14))) return 0;
    auto field = [&](std::size_t at, std::size_t length) { return std::atoi(text.substr(at, length).c_str()); };
    return to_date_time(field(0, 4), field(4, 2), field(6, 2), field(8, 2), field(10, 2), field(12, 2));
}

int month_number(const std::string& name) {
    static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                          "jul", "aug", "sep", "oct", "nov", "dec"};
    if (name.size() != 3) return 0;
    std::string lower;
    for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (int i = 0; i < 12; ++i) {
        if (lower == kMonths[i]) return i + 1;
    }
    return 0;
}

// Whitespace-separated tokens with the offset where each starts.
std::vector<std::pair<std::string, std::size_t>> tokens_of(const std::string& line) {
    std::vector<std::pair<std::string, std::size_t>> tokens;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        if (i >= line.size()) break;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ') ++i;
        tokens.emplace_back(line.substr(start, i - start), start);
    }
    return tokens;
}

// Unix shape: type and permissions, then (links, owner, group in any number) size,
// month, day, "HH:MM" or year, name.
bool parse_unix_line(const std::string& line, const platform::LocalTime& now, ListedEntry* entry) {
    const auto tokens = tokens_of(line);
    if (tokens.size() < 6 || tokens[0].first.size() < 10) return false;
    const char type = tokens[0].first[0];
    if (type != '-' && type != 'd' && type != 'l') return false;
    for (std::size_t m = 2; m + 3 < tokens.size(); ++m) {
        const int month = month_number(tokens[m].first);
        if (month == 0 || !all_digits(tokens[m - 1].first) || !all_digits(tokens[m + 1].first)) continue;
        const std::string& when = tokens[m + 2].first;
        const int day = std::atoi(tokens[m + 1].first.c_str());
        int year = now.year, hour = 0, minute = 0;
        if (when.size() == 5 && when[2] == ':') {
            hour = std::atoi(when.substr(0, 2).c_str());
            minute = std::atoi(when.substr(3, 2).c_str());
            // A year-less date lies within the last year: one after today is last year's.
            if (month > now.month || (month == now.month && day > now.day + 1)) --year;
        } else if (all_digits(when)) {
            year = std::atoi(when.c_str());
        } else {
            continue;
        }
        std::string name = line.substr(tokens[m + 3].second);
        if (type == 'l') {
            const std::size_t arrow = name.find(" -> ");
            if (arrow != std::string::npos) name.resize(arrow);
        }
        entry->name = name;
        entry->attributes = type == 'd' ? 0x10 : 0x80;
        entry->size = std::atoll(tokens[m - 1].first.c_str());
        entry->last_write_time = to_date_time(year, month, day, hour, minute, 0);
        return true;
    }
    return false;
}

// DOS shape: "MM-DD-YY  HH:MMAM  <DIR>|size  name".
bool parse_dos_line(const std::string& line, ListedEntry* entry) {
    const auto tokens = tokens_of(line);
    if (tokens.size() < 4) return false;
    const std::string& date = tokens[0].first;
    const std::string& time = tokens[1].first;
    if (date.size() < 8 || date[2] != '-' || date[5] != '-' || time.size() < 5 || time[2] != ':') return false;
    int year = std::atoi(date.substr(6).c_str());
    if (date.size() == 8) year += year < 70 ? 2000 : 1900;
    int hour = std::atoi(time.substr(0, 2).c_str());
    const int minute = std::atoi(time.substr(3, 2).c_str());
    const std::string suffix = time.substr(5);
    if ((suffix == "PM" || suffix == "pm") && hour < 12) hour += 12;
    if ((suffix == "AM" || suffix == "am") && hour == 12) hour = 0;
    const bool directory = tokens[2].first == "<DIR>";
    if (!directory && !all_digits(tokens[2].first)) return false;
    entry->name = line.substr(tokens[3].second);
    entry->attributes = directory ? 0x10 : 0x80;
    entry->size = directory ? 0 : std::atoll(tokens[2].first.c_str());
    entry->last_write_time =
        to_date_time(year, std::atoi(date.substr(0, 2).c_str()), std::atoi(date.substr(3, 2).c_str()), hour, minute, 0);
    return true;
}

}  // namespace

std::vector<ListedEntry> parse_mlsd(const std::string& body) {
    std::vector<ListedEntry> entries;
    for (const std::string& line : split_lines(body)) {
        const std::size_t space = line.find(' ');
        if (space == std::string::npos) continue;
        ListedEntry entry;
        entry.name = line.substr(space + 1);
        std::string type;
        std::istringstream facts(line.substr(0, space));
        std::string fact;
        while (std::getline(facts, fact, ';')) {
            const std::size_t equals = fact.find('=');
            if (equals == std::string::npos) continue;
            std::string key;
            for (char c : fact.substr(0, equals)) key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            const std::string value = fact.substr(equals + 1);
            if (key == "type") {
                for (char c : value) type += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            } else if (key == "size") {
                entry.size = std::atoll(value.c_str());
            } else if (key == "modify") {
                entry.last_write_time = parse_mlsd_time(value);
            }
        }
        const bool directory = type == "dir" || type == "cdir" || type == "pdir";
        entry.attributes = directory ? 0x10 : 0x80;
        if (directory) entry.size = 0;
        entries.push_back(entry);
    }
    return entries;
}

std::vector<ListedEntry> parse_list(const std::string& body, const platform::LocalTime& now) {
    std::vector<ListedEntry> entries;
    for (const std::string& line : split_lines(body)) {
        ListedEntry entry;
        if (parse_unix_line(line, now, &entry) || parse_dos_line(line, &entry)) entries.push_back(entry);
    }
    return entries;
}

}  // namespace quillet::ftp
