#include "filereplace.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

int OpenReplacementFile(const std::string& path, std::string& tempPath)
{
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device rd;
    std::mt19937 gen(rd());
    std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof kLetters) - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = path + ".tmp";
        for (int i = 0; i < 6; ++i)
            name += kLetters[pick(gen)];
        // Created with 0666 the kernel applies the user's umask, as for any
        // file the user makes.
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return -1;
        }
        struct stat st;
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            ::fchmod(fd, st.st_mode & 07777);
        tempPath = name;
        return fd;
    }
    errno = EEXIST;
    return -1;
}

bool ReplaceFileContents(const std::string& path, const std::string& data, const timespec* stamp,
                         struct stat* written)
{
    std::string tmp;
    const int fd = OpenReplacementFile(path, tmp);
    if (fd < 0)
        return false;
    size_t done = 0;
    bool ok = true;
    while (ok && done < data.size()) {
        const ssize_t w = ::write(fd, data.data() + done, data.size() - done);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            if (w == 0)
                errno = ENOSPC;
            ok = false;
            break;
        }
        done += static_cast<size_t>(w);
    }
    if (ok && stamp) {
        const timespec times[2] = {{0, UTIME_OMIT}, *stamp};
        ::futimens(fd, times);  // without it the caller finds its stamp missing
    }
    if (ok && written && ::fstat(fd, written) != 0)
        ok = false;
    if (ok && ::fsync(fd) != 0)
        ok = false;
    int saved = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && std::rename(tmp.c_str(), path.c_str()) != 0) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        errno = saved;
    }
    return ok;
}

bool CanReplaceFile(const std::string& path, size_t bytes)
{
    std::string tmp;
    const int fd = OpenReplacementFile(path, tmp);
    if (fd < 0)
        return false;
    // Set aside without writing a byte: as costly for a large file as for
    // a small one. A file system that cannot set space aside is not judged
    // here (its next rewrite tells).
    int rc = bytes ? ::posix_fallocate(fd, 0, static_cast<off_t>(bytes)) : 0;
    if (rc == EOPNOTSUPP || rc == EINVAL)
        rc = 0;
    ::close(fd);
    ::unlink(tmp.c_str());
    errno = rc;
    return rc == 0;
}
