// Disk faults for tests: a full disk, a read-only folder, a umask. Plain
// POSIX, usable by every test program.
//
// A full disk is a small tmpfs mounted over a fresh folder when the tests run
// as root; otherwise every file this process writes is limited in size, so a
// write past the limit fails (EFBIG) as it would on a full disk. A read-only
// folder is a read-only remount of such a tmpfs for root (permissions do not
// stop root), a folder without write permission for anyone else.
#pragma once

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <string>
#include <vector>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zorqtest {

inline mode_t FileMode(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : static_cast<mode_t>(-1);
}

// The process's umask while the object lives.
class UmaskScope {
public:
    explicit UmaskScope(mode_t mask) : old_(::umask(mask)) {}
    ~UmaskScope() { ::umask(old_); }
    UmaskScope(const UmaskScope&) = delete;
    UmaskScope& operator=(const UmaskScope&) = delete;

private:
    mode_t old_;
};

// While the object lives, no file this process writes may grow past
// `bytes`: a write beyond fails with EFBIG, as one on a full disk fails.
class FileSizeLimit {
public:
    explicit FileSizeLimit(off_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        struct rlimit small = old_;
        small.rlim_cur = static_cast<rlim_t>(bytes);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        active_ = ::setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit()
    {
        if (active_)
            ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool Active() const { return active_; }

private:
    struct rlimit old_ {};
    void (*oldHandler_)(int) = SIG_DFL;
    bool active_ = false;
};

// A folder of its own whose disk holds `bytes` at most (see above). The
// folder is made under `parent` (ending in '/') and removed at the end.
class SmallDisk {
public:
    SmallDisk(const std::string& parent, size_t bytes)
    {
        char tmpl[4096];
        std::snprintf(tmpl, sizeof tmpl, "%ssmalldisk-XXXXXX", parent.c_str());
        if (!::mkdtemp(tmpl))
            return;
        folder_ = std::string(tmpl) + "/";
        const std::string size = "size=" + std::to_string(bytes);
        mounted_ = ::geteuid() == 0 &&
                   ::mount("tmpfs", tmpl, "tmpfs", MS_NOSUID | MS_NODEV, size.c_str()) == 0;
    }
    ~SmallDisk()
    {
        Release();
        if (mounted_)
            ::umount2(folder_.c_str(), MNT_DETACH);
        if (!folder_.empty()) {
            ::chmod(folder_.c_str(), 0755);
            const std::string cmd = "rm -rf '" + folder_ + "'";
            if (std::system(cmd.c_str()) != 0) {
            }
        }
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    const std::string& Folder() const { return folder_; }
    bool Mounted() const { return mounted_; }

    // From now on the disk is full: on the tmpfs, by filling what is left
    // with a ballast file but `slack` bytes; otherwise as LimitFileSize.
    void Fill(size_t slack = 0)
    {
        if (mounted_) {
            const std::string ballast = folder_ + ".ballast";
            FILE* f = std::fopen(ballast.c_str(), "wb");
            if (!f)
                return;
            std::string block(4096, 'B');
            while (std::fwrite(block.data(), 1, block.size(), f) == block.size() && std::fflush(f) == 0) {
            }
            std::fclose(f);
            // Give back `slack` bytes by shortening the ballast.
            struct stat st;
            if (slack && ::stat(ballast.c_str(), &st) == 0 && st.st_size > static_cast<off_t>(slack))
                if (::truncate(ballast.c_str(), st.st_size - static_cast<off_t>(slack)) != 0) {
                }
            return;
        }
        LimitFileSize(slack);
    }
    // Files this process writes may grow to the size of the largest file
    // in the folder now plus `slack` bytes, no further.
    void LimitFileSize(size_t slack)
    {
        if (limit_)
            return;
        off_t largest = 0;
        if (DIR* d = ::opendir(folder_.c_str())) {
            while (dirent* e = ::readdir(d)) {
                struct stat st;
                if (::stat((folder_ + e->d_name).c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
                    st.st_size > largest)
                    largest = st.st_size;
            }
            ::closedir(d);
        }
        limit_ = std::make_unique<FileSizeLimit>(largest + static_cast<off_t>(slack));
    }
    // Space again (the ballast goes, the size limit is lifted).
    void Release()
    {
        limit_.reset();
        if (mounted_)
            ::unlink((folder_ + ".ballast").c_str());
    }

    // The folder becomes read-only: a read-only remount of the tmpfs, or no
    // write permission. False when neither can be done.
    bool MakeReadOnly()
    {
        if (mounted_)
            return ::mount("tmpfs", folder_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV,
                           nullptr) == 0;
        if (::geteuid() == 0)
            return false;  // root writes through permissions
        return ::chmod(folder_.c_str(), 0555) == 0;
    }
    bool MakeWritable()
    {
        if (mounted_)
            return ::mount("tmpfs", folder_.c_str(), "tmpfs", MS_REMOUNT | MS_NOSUID | MS_NODEV, nullptr) == 0;
        return ::chmod(folder_.c_str(), 0755) == 0;
    }

private:
    std::string folder_;
    bool mounted_ = false;
    std::unique_ptr<FileSizeLimit> limit_;
};

// The damaged shapes a file of the program may take, each written beside the
// others as folder + stem + "-" + shape + ext: cut short (the first half of
// `good`), empty, a folder in its place, random bytes (the same every run),
// and a link that no read can follow (root reads every file whatever its
// permissions, so unreadable is a name that cannot be opened at all).
struct DamagedFile {
    std::string shape;
    std::string path;
};
inline std::vector<DamagedFile> WriteDamagedShapes(const std::string& folder, const std::string& stem,
                                                   const std::string& ext, const std::string& good)
{
    std::vector<DamagedFile> out;
    auto put = [&](const std::string& shape, const std::string& bytes) {
        const std::string path = folder + stem + "-" + shape + ext;
        FILE* f = std::fopen(path.c_str(), "wb");
        if (f) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        out.push_back({shape, path});
    };
    put("cut", good.substr(0, good.size() / 2));
    put("empty", std::string());
    std::string noise;
    uint32_t x = 2463534242u;
    for (int i = 0; i < 700; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        noise += static_cast<char>(x & 0xFF);
    }
    put("random", noise);
    const std::string folderShape = folder + stem + "-folder" + ext;
    ::mkdir(folderShape.c_str(), 0755);
    out.push_back({"folder", folderShape});
    const std::string loop = folder + stem + "-unreadable" + ext;
    if (::symlink(loop.c_str(), loop.c_str()) == 0)
        out.push_back({"unreadable", loop});
    return out;
}

}  // namespace zorqtest
