// The temporary is made with O_EXCL and O_NOFOLLOW, so nothing planted under its name is
// written through; fchmod puts the mode right whatever the umask. link() refuses an
// existing target, which makes "never overwrite" atomic; rename() replaces atomically.
#include "platform/private_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/secure_random.h"
#include "platform/text_codec.h"

namespace quillet::platform {
namespace {

bool write_all(int fd, std::string_view bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string temporary_beside(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    return target + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(counter.fetch_add(1)) + "-" +
           std::to_string(secure_random_below(1000000000));
}

}  // namespace

bool write_private_file(const std::string& path, std::string_view bytes, bool replace) {
    const std::string target = gbk_to_utf8(path);
    const std::string temporary = temporary_beside(target);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd == -1) return false;
    const bool written = ::fchmod(fd, 0600) == 0 && write_all(fd, bytes) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    bool placed = false;
    if (written && closed) {
        placed =
            replace ? ::rename(temporary.c_str(), target.c_str()) == 0 : ::link(temporary.c_str(), target.c_str()) == 0;
    }
    // After a rename the temporary name is gone already; after a link it is a second name.
    if (!placed || !replace) ::unlink(temporary.c_str());
    return placed;
}

}  // namespace quillet::platform
