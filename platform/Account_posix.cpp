#include "platform/Account.h"

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace platform {

std::string AccountName() {
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_name) {
        return {};
    }
    return found->pw_name;
}

} // namespace platform
