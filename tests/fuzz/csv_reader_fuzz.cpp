// Any bytes as CSV, read in one piece and in small pieces, under small limits. The first
// two bytes choose the piece size and the limits. The rows and the error may not depend on
// how the input arrives, and no row may hold more than the limits let it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/csv.h"

namespace {

using quillet::app::CsvLimits;
using quillet::app::CsvReader;
using quillet::app::CsvRow;
using quillet::app::CsvSource;

struct Reading {
    std::vector<CsvRow> rows;
    std::string error;
};

Reading read(CsvSource source, const CsvLimits& limits) {
    CsvReader reader(std::move(source), limits);
    Reading reading;
    for (CsvRow row; reader.next(&row);) reading.rows.push_back(row);
    reading.error = reader.error();
    return reading;
}

CsvSource in_pieces(std::string_view text, std::size_t piece) {
    return [text, piece](char* buffer, std::size_t capacity) mutable -> std::optional<std::size_t> {
        const std::size_t count = std::min({piece, capacity, text.size()});
        text.copy(buffer, count);
        text.remove_prefix(count);
        return count;
    };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t piece = data[0] % 16 + 1;
    const CsvLimits limits{.field_bytes = static_cast<std::size_t>(data[1] % 32),
                           .fields = static_cast<std::size_t>(data[1] / 32) + 1,
                           .input_bytes = 8192,
                           .rows = 64};
    const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);

    const Reading whole = read(quillet::app::csv_text_source(text), limits);
    const Reading pieces = read(in_pieces(text, piece), limits);
    if (whole.error != pieces.error || whole.rows.size() != pieces.rows.size()) std::abort();
    int line = 0;
    for (std::size_t i = 0; i < whole.rows.size(); ++i) {
        const CsvRow& row = whole.rows[i];
        if (row.fields != pieces.rows[i].fields || row.cut != pieces.rows[i].cut || row.line != pieces.rows[i].line) {
            std::abort();
        }
        if (row.line <= line || row.fields.size() > limits.fields || row.cut.size() != row.fields.size() ||
            i >= limits.rows) {
            std::abort();
        }
        for (const std::string& field : row.fields) {
            if (field.size() > limits.field_bytes) std::abort();
        }
        line = row.line;
    }
    return 0;
}
