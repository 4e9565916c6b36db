// The system's temporary folder, as TMPDIR names it (/tmp when it is not
// set), and fresh folders made in it: no test writes under a fixed /tmp, so
// that two suites side by side, each with a TMPDIR of its own, never meet.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

namespace zorqtest {

// The temporary folder, without a trailing '/'.
inline std::string TempFolder()
{
    const char* dir = std::getenv("TMPDIR");
    std::string path = dir && *dir ? dir : "/tmp";
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// A new folder "<prefix>XXXXXX" in the temporary folder, ending in '/';
// empty when it cannot be made.
inline std::string MakeTempFolder(const std::string& prefix)
{
    const std::string pattern = TempFolder() + "/" + prefix + "XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data()))
        return std::string();
    return std::string(name.data()) + "/";
}

// A fresh folder in the temporary folder, removed with all it holds at the
// end of the scope.
class ScopedTempFolder {
public:
    explicit ScopedTempFolder(const std::string& prefix = "zorq-") : path_(MakeTempFolder(prefix)) {}
    ~ScopedTempFolder()
    {
        if (!path_.empty())
            std::system(("rm -rf '" + path_ + "'").c_str());
    }
    ScopedTempFolder(const ScopedTempFolder&) = delete;
    ScopedTempFolder& operator=(const ScopedTempFolder&) = delete;
    const std::string& path() const { return path_; }  // ends in '/'

private:
    std::string path_;
};

// Points TMPDIR at another folder for a while; Restore (or the end of the
// scope) gives back what it was, unset included.
class TmpDirOverride {
public:
    ~TmpDirOverride() { Restore(); }
    void Set(const std::string& folder)
    {
        if (!set_) {
            const char* old = std::getenv("TMPDIR");
            hadOld_ = old != nullptr;
            old_ = old ? old : "";
            set_ = true;
        }
        ::setenv("TMPDIR", folder.c_str(), 1);
    }
    void Restore()
    {
        if (!set_)
            return;
        if (hadOld_)
            ::setenv("TMPDIR", old_.c_str(), 1);
        else
            ::unsetenv("TMPDIR");
        set_ = false;
    }

private:
    bool set_ = false, hadOld_ = false;
    std::string old_;
};

}  // namespace zorqtest
