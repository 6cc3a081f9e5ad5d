// Windows has no switch that hides a process's memory from the other programs of its
// user. The nearest honest measures:
// * The process's own DACL is replaced by one that lets its user only query, wait for
//   and end it: no PROCESS_VM_READ, no debugger attach, no thread injection. The user
//   owns the process and so could write the DACL back, and administrators with the
//   debug privilege pass it; it keeps out ordinary programs that just open the process.
// * Windows Error Reporting is told not to collect this program, and the crash dialog
//   is turned off, so that a crash leaves no dump with the passwords in it.
// Each step that fails leaves the process as it was; nothing is reported.
#include "platform/process_privacy.h"

#include <windows.h>
#include <aclapi.h>

#include <vector>

// mingw-w64's werapi.h does not compile on its own; this is the one function needed.
extern "C" HRESULT WINAPI WerAddExcludedApplication(PCWSTR exe_name, BOOL all_users);

namespace quillet::platform {
namespace {

void restrict_process_access() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    const bool have_user = size > 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size);
    CloseHandle(token);
    if (!have_user) return;
    PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
    const DWORD acl_size = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sid);
    std::vector<unsigned char> acl_bytes(acl_size);
    auto* acl = reinterpret_cast<ACL*>(acl_bytes.data());
    const DWORD allowed = PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE | PROCESS_TERMINATE;
    if (!InitializeAcl(acl, acl_size, ACL_REVISION) || !AddAccessAllowedAce(acl, ACL_REVISION, allowed, sid)) return;
    SetSecurityInfo(GetCurrentProcess(), SE_KERNEL_OBJECT,
                    DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr, acl, nullptr);
}

void keep_out_of_crash_reports() {
    SetErrorMode(GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    const wchar_t* name = path;
    for (const wchar_t* p = path; *p != L'\0'; ++p) {
        if (*p == L'\\' || *p == L'/') name = p + 1;
    }
    WerAddExcludedApplication(name, FALSE);
}

}  // namespace

void keep_process_memory_private() {
    restrict_process_access();
    keep_out_of_crash_reports();
}

}  // namespace quillet::platform
