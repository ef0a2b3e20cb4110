#include "platform/languagemodel/GgufTensorTable.h"

#include <cstdint>
#include <fstream>

namespace kivo::GgufTensorTable {
namespace {

class Walk {
public:
    explicit Walk(const std::filesystem::path& file) : in_(file, std::ios::binary)
    {
        std::error_code error;
        size_ = std::filesystem::file_size(file, error);
        ok_ = !error && in_.good();
    }

    bool ok() const { return ok_; }

    template <typename T>
    T read()
    {
        T value{};
        if (ok_ && !in_.read(reinterpret_cast<char*>(&value), sizeof value)) {
            ok_ = false;
        }
        return value;
    }

    void skip(std::uint64_t count)
    {
        const auto at = static_cast<std::uint64_t>(in_.tellg());
        if (!ok_ || count > size_ - at) {
            ok_ = false;
            return;
        }
        in_.seekg(static_cast<std::streamoff>(count), std::ios::cur);
    }

    void skipString() { skip(read<std::uint64_t>()); }

    // One value of GGUF type `type`; arrays hold scalars or strings.
    void skipValue(std::uint32_t type, bool inArray = false)
    {
        switch (type) {
        case 0:
        case 1:
        case 7: skip(1); break;
        case 2:
        case 3: skip(2); break;
        case 4:
        case 5:
        case 6: skip(4); break;
        case 10:
        case 11:
        case 12: skip(8); break;
        case 8: skipString(); break;
        case 9: {
            const auto elementType = read<std::uint32_t>();
            const auto count = read<std::uint64_t>();
            if (inArray || elementType == 9) {
                ok_ = false;
                return;
            }
            const std::uint64_t width = elementType <= 1 || elementType == 7     ? 1
                                        : elementType <= 3                       ? 2
                                        : elementType <= 6                       ? 4
                                        : elementType >= 10 && elementType <= 12 ? 8
                                                                                 : 0;
            if (width > 0) {
                if (count > size_ / width) {
                    ok_ = false;
                    return;
                }
                skip(count * width);
                return;
            }
            for (std::uint64_t i = 0; ok_ && i < count; ++i) {
                skipValue(elementType, true);
            }
            break;
        }
        default: ok_ = false;
        }
    }

private:
    std::ifstream in_;
    std::uint64_t size_ = 0;
    bool ok_ = false;
};

} // namespace

std::optional<std::string> problem(const std::filesystem::path& file)
{
    Walk walk(file);
    const auto magic = walk.read<std::uint32_t>();
    const auto version = walk.read<std::uint32_t>();
    if (!walk.ok() || magic != 0x46554747 || version < 2) {
        return std::nullopt;
    }
    const auto tensors = walk.read<std::uint64_t>();
    const auto keys = walk.read<std::uint64_t>();
    for (std::uint64_t i = 0; walk.ok() && i < keys; ++i) {
        walk.skipString();
        walk.skipValue(walk.read<std::uint32_t>());
    }
    for (std::uint64_t i = 0; walk.ok() && i < tensors; ++i) {
        walk.skipString();
        const auto dims = walk.read<std::uint32_t>();
        if (dims > 4) {
            return std::nullopt;
        }
        for (std::uint32_t d = 0; d < dims; ++d) {
            const auto extent = walk.read<std::int64_t>();
            if (walk.ok() && extent == 0) {
                return "tensor " + std::to_string(i) + " has a dimension of 0";
            }
        }
        walk.read<std::uint32_t>(); // type
        walk.read<std::uint64_t>(); // offset
    }
    return std::nullopt;
}

} // namespace kivo::GgufTensorTable
