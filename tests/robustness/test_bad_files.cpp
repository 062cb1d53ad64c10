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

// Opening a FIFO for reading waits for a writer. Should the loader ever do
// that again, a writer comes after a few seconds and the load fails on the
// reason instead of hanging the test.
TEST(BadBitmapFiles, DirectoryAndFifoAreRefusedWithoutWaiting)
{
    const std::string path = ::testing::TempDir() + "kxbadfiles-" + std::to_string(getpid());
    std::filesystem::create_directory(path + ".bmp");
    ASSERT_EQ(mkfifo((path + ".fifo").c_str(), 0600), 0);
    std::atomic<bool> bDone{false};
    std::thread rescue([&] {
        for (int i = 0; i < 50 && !bDone; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const int fd = bDone ? -1 : open((path + ".fifo").c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            close(fd);
    });
    for (const char* suffix : {".bmp", ".fifo"}) {
        KxDib dib(nullptr, 3);
        EXPECT_FALSE(dib.Load((path + suffix).c_str())) << suffix;
        EXPECT_STREQ(dib.GetLoadError(), "not a regular file");
        EXPECT_EQ(dib.GetBits(), nullptr);
    }
    bDone = true;
    rescue.join();
    std::filesystem::remove(path + ".bmp");
    unlink((path + ".fifo").c_str());
}
