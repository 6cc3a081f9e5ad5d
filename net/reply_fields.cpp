#include "net/reply_fields.h"

#include <utility>

namespace quillet::net {

std::vector<std::string> split_reply(std::string_view reply) {
    std::vector<std::string> fields;
    std::string field;
    for (size_t at = 0; at < reply.size();) {
        const auto c = static_cast<unsigned char>(reply[at]);
        if (c >= 0x81 && c <= 0xFE && at + 1 < reply.size()) {
            field.append(reply.substr(at, 2));
            at += 2;
            continue;
        }
        if (c == '|') {
            fields.push_back(std::move(field));
            field.clear();
        } else {
            field += static_cast<char>(c);
        }
        ++at;
    }
    if (!field.empty()) fields.push_back(std::move(field));
    return fields;
}

}  // namespace quillet::net
