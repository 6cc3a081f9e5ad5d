// Security attributes for the files the program creates: a protected DACL that lets the
// current user, and nobody else, reach the file (the counterpart of mode 0600).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace quillet::platform {

class OwnerOnlySecurity {
public:
    OwnerOnlySecurity();
    OwnerOnlySecurity(const OwnerOnlySecurity&) = delete;
    OwnerOnlySecurity& operator=(const OwnerOnlySecurity&) = delete;

    // nullptr when the current user could not be found: the file then gets the default
    // security of its directory, and creating it still works.
    SECURITY_ATTRIBUTES* attributes() { return ready_ ? &attributes_ : nullptr; }
    // Replaces the DACL of an existing file with this one; false when it could not.
    bool apply_to(const std::wstring& path);

private:
    bool ready_ = false;
    std::vector<unsigned char> user_;  // TOKEN_USER of the process
    std::vector<unsigned char> acl_;
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{};
};

}  // namespace quillet::platform
