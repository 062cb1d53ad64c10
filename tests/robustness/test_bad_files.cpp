// Files that are no bitmaps at all: the loader must refuse them at once,
// without waiting on them or reading from them.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "render/kxdib.h"

namespace {

std::string TempName(const char* name)
{
    return ::testing::TempDir() + "kxbadfiles-" + std::to_string(getpid()) + "-" + name;
}

}  // namespace

TEST(BadBitmapFiles, DirectoryIsRefused)
{
    const std::string path = TempName("directory.bmp");
    std::filesystem::create_directory(path);
    KxDib dib(nullptr, 3);
    EXPECT_FALSE(dib.Load(path.c_str()));
    EXPECT_STREQ(dib.GetLoadError(), "not a regular file");
    EXPECT_EQ(dib.GetBits(), nullptr);
    std::filesystem::remove(path);
}

// Opening a FIFO for reading waits for a writer. Should the loader ever do
// that again, a writer comes after a few seconds and the load fails on the
// reason instead of hanging the test.
TEST(BadBitmapFiles, FifoIsRefusedWithoutWaitingForAWriter)
{
    const std::string path = TempName("fifo.bmp");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    std::atomic<bool> bDone{false};
    std::thread rescue([&] {
        for (int i = 0; i < 50 && !bDone; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!bDone) {
            const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                close(fd);
        }
    });
    KxDib dib(nullptr, 3);
    EXPECT_FALSE(dib.Load(path.c_str()));
    bDone = true;
    rescue.join();
    EXPECT_STREQ(dib.GetLoadError(), "not a regular file");
    unlink(path.c_str());
}
