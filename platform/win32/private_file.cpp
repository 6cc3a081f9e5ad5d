// The temporary is created with CREATE_NEW and an owner-only DACL, so nothing planted
// under its name is written through and nobody else can read it from the first byte on.
// MoveFileExW without MOVEFILE_REPLACE_EXISTING refuses an existing target, which makes
// "never overwrite" atomic; with it the target is replaced in one step.
#include "platform/private_file.h"

#include <windows.h>

#include "platform/secure_random.h"
#include "platform/win32/owner_only_security.h"
#include "platform/win32/wide_text.h"

namespace quillet::platform {
namespace {

bool write_all(HANDLE handle, std::string_view bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const std::size_t left = bytes.size() - done;
        const DWORD request = static_cast<DWORD>(left < (1u << 30) ? left : (1u << 30));
        DWORD written = 0;
        if (!WriteFile(handle, bytes.data() + done, request, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return true;
}

std::wstring temporary_beside(const std::wstring& target) {
    return target + L".tmp-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(secure_random_below(1000000000));
}

}  // namespace

bool write_private_file(const std::string& path, std::string_view bytes, bool replace) {
    const std::wstring target = wide(path);
    const std::wstring temporary = temporary_beside(target);
    OwnerOnlySecurity security;
    HANDLE handle = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, security.attributes(), CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool written = write_all(handle, bytes) && FlushFileBuffers(handle);
    const bool closed = CloseHandle(handle) != 0;
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    const bool placed = written && closed && MoveFileExW(temporary.c_str(), target.c_str(), flags) != 0;
    if (!placed) DeleteFileW(temporary.c_str());
    return placed;
}

}  // namespace quillet::platform
