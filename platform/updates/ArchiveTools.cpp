#include "platform/updates/ArchiveTools.h"

#include "platform/updates/UpdateError.h"

#include <archive.h>
#include <archive_entry.h>

#include <fstream>
#include <memory>
#include <sstream>

namespace kivo::ArchiveTools {
namespace {

using Reader = std::unique_ptr<archive, decltype(&archive_read_free)>;
using Writer = std::unique_ptr<archive, decltype(&archive_write_free)>;

constexpr la_int64_t totalLimit = la_int64_t{4} << 30;

[[noreturn]] void fail(archive* handle, const std::string& what)
{
    const char* reason = handle ? archive_error_string(handle) : nullptr;
    throw UpdateError(UpdateError::archiveInvalid,
                      "The update archive could not be unpacked: " + what + (reason ? std::string(": ") + reason : ""));
}

} // namespace

void unpack(const std::string& bytes, const std::filesystem::path& destination)
{
    Reader reader(archive_read_new(), archive_read_free);
    archive_read_support_filter_all(reader.get());
    archive_read_support_format_tar(reader.get());
    archive_read_support_format_zip(reader.get());
    if (archive_read_open_memory(reader.get(), bytes.data(), bytes.size()) != ARCHIVE_OK) {
        fail(reader.get(), "not an archive");
    }
    Writer writer(archive_write_disk_new(), archive_write_free);
    archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_PERM |
                                                     ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_SECURE_SYMLINKS);
    la_int64_t total = 0;
    archive_entry* entry = nullptr;
    for (int status; (status = archive_read_next_header(reader.get(), &entry)) != ARCHIVE_EOF;) {
        if (status != ARCHIVE_OK && status != ARCHIVE_WARN) {
            fail(reader.get(), "damaged entry");
        }
        const std::string name = archive_entry_pathname(entry) ? archive_entry_pathname(entry) : "";
        const auto type = archive_entry_filetype(entry);
        if (type != AE_IFREG && type != AE_IFDIR && type != AE_IFLNK) {
            fail(nullptr, "unsupported entry " + name);
        }
        if (archive_entry_hardlink(entry)) {
            fail(nullptr, "hard link " + name);
        }
        total += archive_entry_size(entry);
        if (total > totalLimit) {
            fail(nullptr, "too large");
        }
        // Names are checked while relative, then placed under the destination.
        const std::filesystem::path relative(name);
        if (name.empty() || relative.is_absolute()) {
            fail(nullptr, "absolute path " + name);
        }
        for (const auto& part : relative) {
            if (part == "..") {
                fail(nullptr, "path leaving the archive " + name);
            }
        }
        archive_entry_set_pathname(entry, (destination / name).c_str());
        if (archive_write_header(writer.get(), entry) != ARCHIVE_OK) {
            fail(writer.get(), name);
        }
        if (type == AE_IFREG) {
            const void* block = nullptr;
            size_t size = 0;
            la_int64_t offset = 0;
            for (int read; (read = archive_read_data_block(reader.get(), &block, &size, &offset)) != ARCHIVE_EOF;) {
                if (read != ARCHIVE_OK || archive_write_data_block(writer.get(), block, size, offset) != ARCHIVE_OK) {
                    fail(read != ARCHIVE_OK ? reader.get() : writer.get(), name);
                }
            }
        }
        if (archive_write_finish_entry(writer.get()) != ARCHIVE_OK) {
            fail(writer.get(), name);
        }
    }
    if (archive_write_close(writer.get()) != ARCHIVE_OK) {
        fail(writer.get(), "finishing");
    }
}

std::string pack(const std::filesystem::path& directory)
{
    std::string output;
    Writer writer(archive_write_new(), archive_write_free);
    archive_write_add_filter_gzip(writer.get());
    archive_write_set_format_pax_restricted(writer.get());
    archive_write_open(
        writer.get(), &output, nullptr,
        [](archive*, void* context, const void* data, size_t size) -> la_ssize_t {
            static_cast<std::string*>(context)->append(static_cast<const char*>(data), size);
            return static_cast<la_ssize_t>(size);
        },
        nullptr);
    const std::unique_ptr<archive, decltype(&archive_read_free)> disk(archive_read_disk_new(), archive_read_free);
    archive_read_disk_set_standard_lookup(disk.get());
    for (const auto& item : std::filesystem::recursive_directory_iterator(directory)) {
        const std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(archive_entry_new(),
                                                                                  archive_entry_free);
        archive_entry_copy_sourcepath(entry.get(), item.path().c_str());
        if (archive_read_disk_entry_from_file(disk.get(), entry.get(), -1, nullptr) != ARCHIVE_OK) {
            fail(disk.get(), item.path().string());
        }
        archive_entry_set_pathname(entry.get(), item.path().lexically_relative(directory).c_str());
        if (archive_write_header(writer.get(), entry.get()) != ARCHIVE_OK) {
            fail(writer.get(), item.path().string());
        }
        if (item.is_regular_file() && !item.is_symlink()) {
            std::ifstream file(item.path(), std::ios::binary);
            std::ostringstream content;
            content << file.rdbuf();
            const std::string data = content.str();
            archive_write_data(writer.get(), data.data(), data.size());
        }
    }
    archive_write_close(writer.get());
    return output;
}

} // namespace kivo::ArchiveTools
