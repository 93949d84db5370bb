// "Save As..." writes the received bytes exactly as they came, through the platform's own files, and a
// save that fails leaves nothing under the chosen name.
#include "platform/saved_file.h"
#include "platform/text/received_save.h"
#include "platform/text/traffic_view_model.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

// A folder of its own for each test, removed afterwards.
class Folder {
public:
    Folder()
    {
        std::string name = std::string("brindle_save_") + testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '_');
        path_ = fs::temp_directory_path() / name;
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~Folder()
    {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    fs::path operator/(const char* name) const { return path_ / name; }
    std::vector<std::string> names() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(path_))
            names.push_back(entry.path().filename().string());
        return names;
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

SaveError save(const TextStore& store, const fs::path& path)
{
    SaveError error = SaveError::None;
    std::unique_ptr<SavedFile> file = CreateSavedFile(path.string(), &error);
    if (!file)
        return error;
    ReceivedSave saving(store.receivedSnapshot(), std::move(file), nullptr);
    while (!saving.finished())
        std::this_thread::yield();
    return saving.result();
}

struct ExactCase {
    const char* name;
    std::size_t chunkBytes;
    std::size_t chunks;
};

std::ostream& operator<<(std::ostream& out, const ExactCase& c)
{
    return out << c.name;
}

class SaveExact : public testing::TestWithParam<ExactCase> { };

// Every byte value, NUL and 0x80 to 0xFF among them, framed and with CR and LF shown: the file holds the
// bytes alone, and replaces a file that was there.
TEST_P(SaveExact, WritesTheBytesAsReceived)
{
    const ExactCase& c = GetParam();
    Folder folder;
    const fs::path path = folder / "traffic.bin";
    std::ofstream(path) << "an older file";
    TrafficViewModel model;
    std::mt19937 random(5);
    std::string expected;
    for (std::size_t i = 0; i < c.chunks; ++i) {
        std::string bytes(c.chunkBytes, '\0');
        for (std::size_t k = 0; k < bytes.size(); ++k)
            bytes[k] = static_cast<char>(k % 3 == 0 ? random() & 0xFF : (i + k) & 0xFF);
        model.appendTraffic(bytes, TrafficFormat{i % 2 == 0, i % 3 == 0});
        expected += bytes;
    }
    ASSERT_EQ(save(model.heldStore(), path), SaveError::None);
    EXPECT_EQ(readFile(path), expected);
    EXPECT_EQ(folder.names(), std::vector<std::string>{"traffic.bin"});
}

INSTANTIATE_TEST_SUITE_P(Table, SaveExact,
    testing::Values(ExactCase{"short chunks held as text", 7, 300}, ExactCase{"chunks of a receive", 4096, 40},
        ExactCase{"over many memory chunks", 70000, 40}));

TEST(SaveFailures, AFolderOrAMissingFolderIsRefusedAndNothingIsLeft)
{
    Folder folder;
    TrafficViewModel model;
    model.appendTraffic("bytes", TrafficFormat{});
    fs::create_directory(folder / "a folder");
    EXPECT_EQ(save(model.heldStore(), folder / "a folder"), SaveError::IsDirectory);
    EXPECT_EQ(save(model.heldStore(), folder / "missing" / "f.bin"), SaveError::NoSuchFolder);
    EXPECT_EQ(folder.names(), std::vector<std::string>{"a folder"});
    EXPECT_TRUE(fs::is_empty(folder / "a folder"));
}

TEST(SaveFailures, MessagesSayWhy)
{
    EXPECT_EQ(saveFailureMessage(SaveError::NoRoom, "/x/f.bin"),
        "Could not save to \"/x/f.bin\": there is not enough room on the disk. Nothing was written there.");
    EXPECT_NE(saveFailureMessage(SaveError::NoPermission, "f").find("permission"), std::string::npos);
    EXPECT_NE(saveFailureMessage(SaveError::IsDirectory, "f").find("folder"), std::string::npos);
}

#if !defined(_WIN32)
// A disk that fills up while writing, as a file size limit makes it: the old file stays as it was.
TEST(SaveFailures, NoRoomLeavesTheOldFile)
{
    Folder folder;
    const fs::path path = folder / "f.bin";
    std::ofstream(path) << "old";
    TrafficViewModel model;
    model.appendTraffic(std::string(256 * 1024, 'x'), TrafficFormat{});
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const SaveError error = save(model.heldStore(), path);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(error, SaveError::NoRoom);
    EXPECT_EQ(readFile(path), "old");
    EXPECT_EQ(folder.names(), std::vector<std::string>{"f.bin"});
}

// A folder that may not be written: without write permission, or immutable where even root may not.
TEST(SaveFailures, NoPermission)
{
    Folder folder;
    const fs::path locked = folder / "locked";
    fs::create_directory(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    const int descriptor = ::open(locked.c_str(), O_RDONLY | O_DIRECTORY);
    int flags = 0;
    bool immutable = false;
    if (::access(locked.c_str(), W_OK) == 0 && ::ioctl(descriptor, FS_IOC_GETFLAGS, &flags) == 0) {
        flags |= FS_IMMUTABLE_FL;
        immutable = ::ioctl(descriptor, FS_IOC_SETFLAGS, &flags) == 0;
    }
    TrafficViewModel model;
    model.appendTraffic("bytes", TrafficFormat{});
    const bool lockable = immutable || ::access(locked.c_str(), W_OK) != 0;
    const SaveError error = lockable ? save(model.heldStore(), locked / "f.bin") : SaveError::NoPermission;
    if (immutable) {
        flags &= ~FS_IMMUTABLE_FL;
        ::ioctl(descriptor, FS_IOC_SETFLAGS, &flags);
    }
    ::close(descriptor);
    fs::permissions(locked, fs::perms::owner_all);
    if (!lockable)
        GTEST_SKIP() << "no folder here can be locked against this user";
    EXPECT_EQ(error, SaveError::NoPermission);
    EXPECT_TRUE(fs::is_empty(locked));
}
#endif

} // namespace
