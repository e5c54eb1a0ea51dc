#pragma once
// A folder tree that really cannot be written while the object lives, also
// when the tests run as root: every folder and file in it loses its write
// bits, and the calling thread gives up the capability that lets root write
// past them (CAP_DAC_OVERRIDE, in the effective set only, so it comes back).
// Capabilities belong to a thread: the program code under test must run on
// the thread that made the object, as the window and its tables do.

#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

namespace testsupport {

class UnwritableFolder {
public:
    explicit UnwritableFolder(const std::filesystem::path& root)
    {
        namespace fs = std::filesystem;
        saved_.push_back({root, fs::status(root).permissions()});
        for (const auto& entry : fs::recursive_directory_iterator(root))
            saved_.push_back({entry.path(), entry.symlink_status().permissions()});
        for (const auto& [path, perms] : saved_)
            fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                            fs::perm_options::remove);
        SetDacOverride(false);
    }
    ~UnwritableFolder()
    {
        SetDacOverride(true);
        for (const auto& [path, perms] : saved_) {
            std::error_code ignored;
            std::filesystem::permissions(path, perms, ignored);
        }
    }
    UnwritableFolder(const UnwritableFolder&) = delete;
    UnwritableFolder& operator=(const UnwritableFolder&) = delete;

private:
    // Lowers (or raises again) CAP_DAC_OVERRIDE in the thread's effective
    // set; a user without it (not root) has nothing to lower.
    void SetDacOverride(bool on)
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
        if (syscall(SYS_capget, &header, data) != 0) return;
        constexpr unsigned bit = 1u << CAP_DAC_OVERRIDE;
        if ((data[0].permitted & bit) == 0) return;
        if (on)
            data[0].effective |= bit;
        else
            data[0].effective &= ~bit;
        EXPECT_EQ(syscall(SYS_capset, &header, data), 0) << "capset";
    }

    struct Saved {
        std::filesystem::path path;
        std::filesystem::perms perms;
    };
    std::vector<Saved> saved_;
};

}  // namespace testsupport
