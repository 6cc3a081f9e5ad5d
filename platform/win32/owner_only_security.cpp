#include "platform/win32/owner_only_security.h"

#include <aclapi.h>

namespace quillet::platform {
namespace {

bool read_token_user(std::vector<unsigned char>* out) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    bool ok = size > 0;
    if (ok) {
        out->resize(size);
        ok = GetTokenInformation(token, TokenUser, out->data(), size, &size) != 0;
    }
    CloseHandle(token);
    return ok;
}

}  // namespace

OwnerOnlySecurity::OwnerOnlySecurity() {
    if (!read_token_user(&user_)) return;
    PSID sid = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
    const DWORD acl_size = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sid);
    acl_.resize(acl_size);
    auto* acl = reinterpret_cast<ACL*>(acl_.data());
    ready_ = InitializeAcl(acl, acl_size, ACL_REVISION) && AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, sid) &&
             InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
             SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) &&
             // Protected: permissions inherited from the directory are not added.
             SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = &descriptor_;
    attributes_.bInheritHandle = FALSE;
}

bool OwnerOnlySecurity::apply_to(const std::wstring& path) {
    if (!ready_) return false;
    return SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                                 DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                 reinterpret_cast<ACL*>(acl_.data()), nullptr) == ERROR_SUCCESS;
}

}  // namespace quillet::platform
