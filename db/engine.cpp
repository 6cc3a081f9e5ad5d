#include "db/engine.h"

#include "db/result_code.h"

namespace quillet::db {
namespace {

thread_local std::int32_t t_last_error = 0;

}  // namespace

Engine& engine() {
    static Engine* instance = new Engine;  // never destroyed: threads may outlive static destruction
    return *instance;
}

void set_last_error(std::int32_t code) { t_last_error = code; }
std::int32_t last_database_error() { return t_last_error; }

std::int32_t DataFile::version() const { return get32(header.data() + 4); }

std::int32_t DataFile::sync(bool aux_too) {
    platform::FileError error = data.file().sync();
    if (error == platform::FileError::kNone && aux && aux_too) error = aux->keyed().file().sync();
    return error == platform::FileError::kNone ? kOk : code_for_file_error(error);
}

void DataFile::close_files() {
    locks.release_all(data.file());
    data.file().close();
    if (aux) aux->keyed().file().close();
    aux.reset();
}

}  // namespace quillet::db
