// Files that their permissions keep from this thread, also when the tests run
// as root: root reads every file through two capabilities (overriding the
// permission bits, and searching and reading anywhere), which this thread
// lays aside for the object's life and takes up again after. Capabilities
// belong to a thread; the program's reads happen on the thread that made the
// object.
#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace zorqtest {

class PermissionsApply {
public:
    PermissionsApply()
    {
        if (::geteuid() != 0) {
            active_ = true;  // the permission bits apply already
            return;
        }
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        header_.pid = 0;
        if (::syscall(SYS_capget, &header_, saved_) != 0)
            return;
        __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
        // Only the effective set: the permitted one keeps them, so that they
        // can be taken up again.
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        if (::syscall(SYS_capset, &header_, lowered) != 0)
            return;
        lowered_ = true;
        active_ = true;
    }
    ~PermissionsApply()
    {
        if (lowered_)
            ::syscall(SYS_capset, &header_, saved_);
    }
    PermissionsApply(const PermissionsApply&) = delete;
    PermissionsApply& operator=(const PermissionsApply&) = delete;

    // False when this thread could not be made to heed permissions.
    bool Active() const { return active_; }

private:
    __user_cap_header_struct header_{};
    __user_cap_data_struct saved_[2]{};
    bool lowered_ = false;
    bool active_ = false;
};

}  // namespace zorqtest
