#include "model/SafeFile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace safefile {

namespace {

constexpr int kMaxLinkHops = 40; // as the kernel's own limit on links in one lookup
constexpr std::size_t kBlock = 64 * 1024;

std::string ErrorText(int error) {
    return std::strerror(error);
}

// What a file that is not a regular file is, for a message.
std::string Kind(mode_t mode) {
    if (S_ISDIR(mode))
        return "a directory";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISBLK(mode))
        return "a block device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a regular file";
}

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return m_fd; }
    // Closes now; false (with errno) when the close reports a failed write.
    bool Close() {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

// Opens a regular file for reading, never blocking: a FIFO or device is not opened at all, and
// one swapped in between the check and the open is refused after it. -1 with `why` set.
int OpenRegular(const std::string& path, std::string& why) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        why = ErrorText(errno);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        why = Kind(st.st_mode) + ", not a file";
        return -1;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        why = ErrorText(errno);
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        why = "not a regular file";
        ::close(fd);
        return -1;
    }
    return fd;
}

// Up to `size` bytes; fewer only at the end of the file. -1 on a read error.
ssize_t ReadSome(int fd, char* buf, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, buf + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a save of `path` must replace: `path` itself, or where its links lead. False, with
// `why` set, when that is anything but a regular file or a name still free.
bool ResolveTarget(const std::string& path, std::string& target, std::string& why) {
    std::string current = path;
    for (int hops = 0;; ++hops) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0) {
            if (errno == ENOENT) {
                target = current; // created by the save (for a link: where it points)
                return true;
            }
            why = "cannot look at " + current + ": " + ErrorText(errno);
            return false;
        }
        if (S_ISREG(st.st_mode)) {
            target = current;
            return true;
        }
        if (!S_ISLNK(st.st_mode)) {
            why = (current == path ? path + " is " : path + " links to " + current + ", ") +
                  Kind(st.st_mode) + ", not a file";
            return false;
        }
        if (hops >= kMaxLinkHops) {
            why = path + " is a chain of too many links";
            return false;
        }
        std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(current.c_str(), link.data(), link.size());
        if (n < 0 || static_cast<std::size_t>(n) >= link.size()) {
            why = "cannot read the link " + current;
            return false;
        }
        link.resize(static_cast<std::size_t>(n));
        current = link.front() == '/' ? link : DirectoryOf(current) + "/" + link;
    }
}

} // namespace

ReadStatus ReadFile(const std::string& path, std::size_t maxBytes, std::string& text,
                    std::string& why) {
    text.clear();
    errno = 0;
    Fd fd(OpenRegular(path, why));
    if (fd.Get() < 0)
        return errno == ENOENT ? ReadStatus::Missing : ReadStatus::NotOpened;
    char buf[kBlock];
    for (;;) {
        const ssize_t n = ReadSome(fd.Get(), buf, sizeof buf);
        if (n < 0) {
            why = "reading failed: " + ErrorText(errno);
            text.clear();
            return ReadStatus::ReadFailed;
        }
        if (n == 0)
            return ReadStatus::Read;
        if (text.size() + static_cast<std::size_t>(n) > maxBytes) {
            why = "larger than " + std::to_string(maxBytes) + " bytes";
            text.clear();
            return ReadStatus::ReadFailed;
        }
        text.append(buf, static_cast<std::size_t>(n));
    }
}

std::string TempPathFor(const std::string& target) {
    return target + ".tmp." + std::to_string(::getpid());
}

bool ReplaceFile(const std::string& path, std::string_view text, std::string& why) {
    std::string target;
    if (!ResolveTarget(path, target, why))
        return false;
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;

    // Created new, never through a name someone left there: a link at the temporary name would
    // otherwise lead the write anywhere. One left by an earlier process of this number goes.
    const std::string temp = TempPathFor(target);
    constexpr int kCreate = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    // A private file's new text is private from the first byte; a new file gets the umask's.
    const mode_t createMode = exists ? S_IRUSR | S_IWUSR : 0666;
    int raw = ::open(temp.c_str(), kCreate, createMode);
    if (raw < 0 && errno == EEXIST && ::unlink(temp.c_str()) == 0)
        raw = ::open(temp.c_str(), kCreate, createMode);
    if (raw < 0) {
        why = "cannot create " + temp + ": " + ErrorText(errno);
        return false;
    }
    Fd fd(raw);
    bool ok = WriteAll(fd.Get(), text.data(), text.size()) && ::fsync(fd.Get()) == 0;
    int error = errno;
    if (ok && exists) {
        // Owner and permissions of the file replaced (the owner only where we may set it).
        [[maybe_unused]] const int ignored = ::fchown(fd.Get(), old.st_uid, old.st_gid);
        ok = ::fchmod(fd.Get(), old.st_mode & 07777) == 0;
        error = errno;
    }
    if (!fd.Close() && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        error = errno;
        why = "cannot replace " + target + ": " + ErrorText(error);
        ::unlink(temp.c_str());
        return false;
    }
    if (!ok) {
        why = "writing " + temp + " failed: " + ErrorText(error);
        ::unlink(temp.c_str());
        return false;
    }
    // The rename itself reaches the disk with its directory.
    Fd dir(::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0)
        ::fsync(dir.Get());
    return true;
}

KeepStatus KeepCopy(const std::string& path, const std::string& keptAs, std::string& why) {
    Fd from(OpenRegular(path, why));
    if (from.Get() < 0) {
        why = "cannot read " + path + ": " + why;
        return KeepStatus::NotKept;
    }
    Fd to(::open(keptAs.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                 S_IRUSR | S_IWUSR));
    if (to.Get() < 0 && errno == EEXIST) {
        // Kept by an earlier run when it holds the same bytes; anything else there stays.
        Fd earlier(OpenRegular(keptAs, why));
        bool same = earlier.Get() >= 0;
        char a[kBlock];
        char b[kBlock];
        while (same) {
            const ssize_t na = ReadSome(from.Get(), a, sizeof a);
            const ssize_t nb = ReadSome(earlier.Get(), b, sizeof b);
            same = na >= 0 && na == nb && std::memcmp(a, b, static_cast<std::size_t>(na)) == 0;
            if (na == 0)
                break;
        }
        if (same)
            return KeepStatus::AlreadyKept;
        why = keptAs + " already holds another file";
        return KeepStatus::NotKept;
    }
    if (to.Get() < 0) {
        why = "cannot create " + keptAs + ": " + ErrorText(errno);
        return KeepStatus::NotKept;
    }
    struct stat st {};
    bool ok = ::fstat(from.Get(), &st) == 0 && ::fchmod(to.Get(), st.st_mode & 07777) == 0;
    char buf[kBlock];
    for (ssize_t n = 1; ok && n > 0;) {
        n = ReadSome(from.Get(), buf, sizeof buf);
        ok = n >= 0 && WriteAll(to.Get(), buf, static_cast<std::size_t>(n));
    }
    ok = ok && ::fsync(to.Get()) == 0;
    const int error = errno;
    if (!to.Close() || !ok) {
        why = "copying " + path + " to " + keptAs + " failed: " + ErrorText(ok ? errno : error);
        ::unlink(keptAs.c_str());
        return KeepStatus::NotKept;
    }
    return KeepStatus::Kept;
}

} // namespace safefile
