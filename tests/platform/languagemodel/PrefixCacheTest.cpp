// Kept prefix states: found only under their exact key, refused when damaged, private, capped.
#include "platform/languagemodel/PrefixCache.h"
#include "platform/languagemodel/LlamaRuntime.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>

namespace kivo {
namespace {

class PrefixCacheTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kivo-prefix-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    std::vector<std::uint8_t> state(std::size_t size, std::uint8_t seed)
    {
        std::vector<std::uint8_t> bytes(size);
        for (std::size_t i = 0; i < size; ++i) {
            bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
        }
        return bytes;
    }

    std::filesystem::path folder;
};

TEST_F(PrefixCacheTest, AStateComesBackOnlyUnderItsExactKey)
{
    const PrefixCache cache(folder);
    const std::string key = PrefixCache::key("/m.gguf\n1 bytes\n5.0 s", "1 2 3 ", 8192);
    const auto stored = state(100003, 1);
    EXPECT_TRUE(cache.store(key, stored));
    EXPECT_EQ(cache.load(key), stored);

    // Every part of the key matters: model identity, prefix and context.
    EXPECT_FALSE(cache.load(PrefixCache::key("/m.gguf\n1 bytes\n6.0 s", "1 2 3 ", 8192)));
    EXPECT_FALSE(cache.load(PrefixCache::key("/m.gguf\n1 bytes\n5.0 s", "1 2 4 ", 8192)));
    EXPECT_FALSE(cache.load(PrefixCache::key("/m.gguf\n1 bytes\n5.0 s", "1 2 3 ", 4096)));

    // Private to the user, and nothing half-written is left behind.
    struct stat info {};
    ASSERT_EQ(::stat(cache.entryPath(key).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1);

    // A newer state replaces the old one.
    const auto newer = state(5000, 9);
    cache.store(key, newer);
    EXPECT_EQ(cache.load(key), newer);
}

TEST_F(PrefixCacheTest, DamagedOrForeignEntriesAreIgnored)
{
    const PrefixCache cache(folder);
    const std::string key = PrefixCache::key("model", "7 ", 100);
    cache.store(key, state(4096, 3));
    const auto path = cache.entryPath(key);
    std::string bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    auto rewrite = [&](const std::string& contents) {
        std::filesystem::remove(path);
        std::ofstream(path, std::ios::binary) << contents;
        std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    };
    for (std::size_t at : {std::size_t{0}, std::size_t{12}, bytes.size() / 2, bytes.size() - 1}) {
        std::string damaged = bytes;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x40);
        rewrite(damaged);
        EXPECT_FALSE(cache.load(key)) << "byte " << at;
    }
    rewrite(bytes.substr(0, bytes.size() - 9));
    EXPECT_FALSE(cache.load(key));
    rewrite(bytes + "x");
    EXPECT_FALSE(cache.load(key));
    rewrite("");
    EXPECT_FALSE(cache.load(key));
    rewrite(bytes);
    EXPECT_TRUE(cache.load(key));

    // A link in place of the entry is not followed.
    std::filesystem::rename(path, folder / "target");
    std::filesystem::create_symlink(folder / "target", path);
    EXPECT_FALSE(cache.load(key));
}

TEST_F(PrefixCacheTest, OversizedStatesAreNotKeptAndTheFolderStaysUnderItsCap)
{
    const PrefixCache cache(folder, 1000, 2500);
    EXPECT_FALSE(cache.store("huge", std::vector<std::uint8_t>(1001, 1)));
    EXPECT_FALSE(cache.load("huge"));
    EXPECT_FALSE(cache.store("empty", {}));
    EXPECT_FALSE(cache.load("empty"));

    // Three entries of about 1000 bytes do not fit in 2500: the oldest goes.
    for (const char* key : {"first", "second"}) {
        cache.store(key, state(950, 2));
        ASSERT_TRUE(cache.load(key)) << key;
    }
    std::filesystem::last_write_time(
        cache.entryPath("first"), std::filesystem::last_write_time(cache.entryPath("second")) - std::chrono::hours(1));
    cache.store("third", state(950, 2));
    EXPECT_FALSE(std::filesystem::exists(cache.entryPath("first")));
    EXPECT_TRUE(cache.load("second"));
    EXPECT_TRUE(cache.load("third"));
    std::uintmax_t total = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        total += entry.file_size();
    }
    EXPECT_LE(total, 2500u);
    EXPECT_EQ(PrefixCache(folder).load("third"), state(950, 2)) << "the default caps read what smaller ones wrote";
}

TEST(PrefixCacheFolderTest, OnlyAMemoryBackedRuntimeFolderIsUsed)
{
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string previous = saved ? saved : "";
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_FALSE(PrefixCache::forRuntimeFolder());
    ::setenv("XDG_RUNTIME_DIR", "relative/path", 1);
    EXPECT_FALSE(PrefixCache::forRuntimeFolder());
    // The build tree is on a disk.
    ::setenv("XDG_RUNTIME_DIR", std::filesystem::current_path().c_str(), 1);
    EXPECT_FALSE(PrefixCache::forRuntimeFolder());
    if (std::filesystem::is_directory("/dev/shm")) {
        char pattern[] = "/dev/shm/kivo-runtime-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        const std::unique_ptr<const char, void (*)(const char*)> removal(
            pattern, [](const char* folder) { std::filesystem::remove_all(folder); });
        ::setenv("XDG_RUNTIME_DIR", pattern, 1);
        const auto cache = PrefixCache::forRuntimeFolder();
        ASSERT_TRUE(cache);
        struct stat info {};
        ASSERT_EQ(::stat(cache->folder().c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
        // A folder others can enter is refused.
        ::chmod(cache->folder().c_str(), 0755);
        EXPECT_FALSE(PrefixCache::forRuntimeFolder());
    }
    if (saved) {
        ::setenv("XDG_RUNTIME_DIR", previous.c_str(), 1);
    } else {
        ::unsetenv("XDG_RUNTIME_DIR");
    }
}

TEST(ThreadChoiceTest, OneThreadPerPhysicalCoreAtMost)
{
    EXPECT_GE(LlamaRuntime::physicalCores(), 1);
    EXPECT_LE(LlamaRuntime::threadCount(1), 1);
    EXPECT_EQ(LlamaRuntime::threadCount(std::uint64_t{1} << 40), LlamaRuntime::physicalCores());
    const int cap = std::min(2, LlamaRuntime::physicalCores());
    EXPECT_LE(LlamaRuntime::threadsNow(cap), cap);
    EXPECT_GE(LlamaRuntime::threadsNow(cap), 1);
}

} // namespace
} // namespace kivo
