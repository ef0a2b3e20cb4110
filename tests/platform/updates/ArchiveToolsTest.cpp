// Unpacking update archives: hostile entry names and links must not reach outside the folder.
#include "platform/updates/ArchiveTools.h"
#include "platform/updates/UpdateError.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kivo {
namespace {

namespace fs = std::filesystem;

struct Entry {
    std::string name;
    char type = '0'; // '0' file, '5' folder, '2' symbolic link, '1' hard link, '6' FIFO
    std::string content;
    std::string link;
    unsigned long long claimedSize = 0; // the header's size when no content follows
};

Entry file(std::string name, std::string content = "x")
{
    return {std::move(name), '0', std::move(content), {}, 0};
}
Entry folder(std::string name)
{
    return {std::move(name), '5', {}, {}, 0};
}
Entry link(std::string name, std::string target, char type = '2')
{
    return {std::move(name), type, {}, std::move(target), 0};
}

// A plain ustar archive, written by hand so that any name or link can go in.
std::string tarOf(const std::vector<Entry>& entries)
{
    std::string archive;
    for (const Entry& entry : entries) {
        std::array<char, 512> header{};
        auto put = [&header](std::size_t at, const std::string& text) { text.copy(header.data() + at, text.size()); };
        auto octal = [](unsigned long long value, int width) {
            std::array<char, 24> text{};
            std::snprintf(text.data(), text.size(), "%0*llo", width - 1, value);
            return std::string(text.data());
        };
        put(0, entry.name);
        put(100, octal(entry.type == '5' ? 0755 : 0644, 8));
        put(108, octal(0, 8));
        put(116, octal(0, 8));
        put(124, octal(entry.claimedSize > 0 ? entry.claimedSize : entry.content.size(), 12));
        put(136, octal(1700000000, 12));
        header[156] = entry.type;
        put(157, entry.link);
        put(257, std::string("ustar\0"
                             "00",
                             8));
        std::fill(header.begin() + 148, header.begin() + 156, ' ');
        unsigned sum = 0;
        for (const char c : header) {
            sum += static_cast<unsigned char>(c);
        }
        put(148, octal(sum, 7));
        archive.append(header.data(), header.size());
        archive += entry.content;
        archive.append((512 - entry.content.size() % 512) % 512, '\0');
    }
    archive.append(1024, '\0');
    return archive;
}

class ArchiveToolsTest : public ::testing::Test {
protected:
    ArchiveToolsTest()
    {
        std::string pattern = (fs::temp_directory_path() / "kivo-archive-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
        staging = root / "staging";
        outside = root / "outside";
        fs::create_directories(staging);
        fs::create_directories(outside);
    }
    ~ArchiveToolsTest() override { fs::remove_all(root); }

    // The message of the refusal, or "unpacked".
    std::string refusal(const std::vector<Entry>& entries) { return refusal(tarOf(entries)); }
    std::string refusal(const std::string& archive)
    {
        try {
            ArchiveTools::unpack(archive, staging);
        } catch (const UpdateError& error) {
            EXPECT_EQ(error.code(), UpdateError::archiveInvalid);
            return error.what();
        }
        return "unpacked";
    }

    static std::string read(const fs::path& path)
    {
        std::ifstream file(path, std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }

    fs::path root;
    fs::path staging;
    fs::path outside;
};

TEST_F(ArchiveToolsTest, PackedFoldersUnpackWithTheirFilesLinksAndModes)
{
    const fs::path source = root / "source";
    fs::create_directories(source / "Kivo" / "bin");
    std::ofstream(source / "Kivo" / "Info.json") << "{\"v\":1}";
    std::ofstream(source / "Kivo" / "bin" / "Kivo") << "#!/bin/sh\n";
    ::chmod((source / "Kivo" / "bin" / "Kivo").c_str(), 0755);
    fs::create_symlink("bin/Kivo", source / "Kivo" / "start");
    fs::create_directory_symlink(outside, source / "Kivo" / "elsewhere"); // kept a link, not followed

    ArchiveTools::unpack(ArchiveTools::pack(source), staging);
    EXPECT_EQ(read(staging / "Kivo" / "Info.json"), "{\"v\":1}");
    EXPECT_EQ(read(staging / "Kivo" / "bin" / "Kivo"), "#!/bin/sh\n");
    EXPECT_NE(fs::status(staging / "Kivo" / "bin" / "Kivo").permissions() & fs::perms::owner_exec, fs::perms::none);
    ASSERT_TRUE(fs::is_symlink(staging / "Kivo" / "start"));
    EXPECT_EQ(fs::read_symlink(staging / "Kivo" / "start"), "bin/Kivo");
    EXPECT_EQ(fs::read_symlink(staging / "Kivo" / "elsewhere"), outside);

    // The hand-made archives are read the same way.
    EXPECT_EQ(refusal({folder("a"), file("a/b.txt", "text")}), "unpacked");
    EXPECT_EQ(read(staging / "a" / "b.txt"), "text");
}

// Reading a named pipe would wait for a writer for ever; packing records it and reads nothing.
TEST_F(ArchiveToolsTest, PackingNeverReadsANamedPipe)
{
    const fs::path source = root / "source";
    fs::create_directories(source);
    std::ofstream(source / "a.txt") << "a";
    ASSERT_EQ(::mkfifo((source / "pipe").c_str(), 0600), 0);
    // A writer that can only open the pipe while somebody has it open for reading.
    std::atomic<bool> done{false};
    std::atomic<bool> read{false};
    std::thread writer([&] {
        while (!done) {
            const int fd = ::open((source / "pipe").c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                read = true;
                ::close(fd);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    const std::string archive = ArchiveTools::pack(source);
    done = true;
    writer.join();
    EXPECT_FALSE(read);
    EXPECT_NE(archive.size(), 0U);
}

TEST_F(ArchiveToolsTest, EntriesMayNotLeaveTheFolderByNameOrThroughALink)
{
    const std::string absolute = (outside / "absolute.txt").string();
    EXPECT_NE(refusal({file(absolute)}).find("absolute path " + absolute), std::string::npos);
    EXPECT_NE(refusal({file("")}).find("absolute path"), std::string::npos);
    EXPECT_NE(refusal({file("a/../../outside/up.txt")}).find("path leaving the archive a/../../outside/up.txt"),
              std::string::npos);
    EXPECT_NE(refusal({folder("..")}).find("path leaving the archive"), std::string::npos);

    // A link may point anywhere; what comes after it in the archive may not be written through it.
    EXPECT_EQ(refusal({link("dir", outside.string())}), "unpacked");
    EXPECT_NE(refusal({file("dir/payload.txt")}), "unpacked");
    EXPECT_NE(refusal({link("up", "../outside"), file("up/payload.txt")}), "unpacked");
    EXPECT_TRUE(fs::is_empty(outside)) << "nothing written outside the staging folder";
    EXPECT_FALSE(fs::exists(root / "up.txt"));
}

TEST_F(ArchiveToolsTest, OnlyFilesFoldersAndSymbolicLinksAreAccepted)
{
    const std::string hard = refusal({file("a.txt"), link("b.txt", "a.txt", '1')});
    EXPECT_NE(hard.find("b.txt"), std::string::npos) << hard;
    EXPECT_FALSE(fs::exists(staging / "b.txt"));
    EXPECT_NE(refusal({link("pipe", "", '6')}).find("unsupported entry pipe"), std::string::npos);
    EXPECT_FALSE(fs::exists(staging / "pipe"));
    EXPECT_NE(refusal(std::string("not an archive")), "unpacked");
    // Cut in the middle of a file's data: the reader's reason is given.
    const std::string cut = refusal(tarOf({file("big.txt", std::string(2000, 'b'))}).substr(0, 1200));
    EXPECT_NE(cut.find("big.txt: "), std::string::npos) << cut;
    // A damaged header after a good entry.
    std::string damaged = tarOf({file("a.txt"), file("b.txt")});
    damaged[1024 + 148] = '7';
    EXPECT_NE(refusal(damaged).find("damaged entry"), std::string::npos) << refusal(damaged);
}

// At most 4 GiB in all, judged from the headers before any data is read.
TEST_F(ArchiveToolsTest, RefusesMoreThanFourGibibytesFromTheHeaders)
{
    const unsigned long long limit = 4ULL << 30;
    Entry huge = file("huge.bin", "");
    huge.claimedSize = limit + 1;
    EXPECT_NE(refusal({huge}).find("too large"), std::string::npos);
    huge.claimedSize = limit;
    const std::string atLimit = refusal({huge}); // refused only because the data is missing
    EXPECT_NE(atLimit, "unpacked");
    EXPECT_EQ(atLimit.find("too large"), std::string::npos) << atLimit;
}

} // namespace
} // namespace kivo
