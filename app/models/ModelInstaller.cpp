#include "app/models/ModelInstaller.h"

#include "app/models/ModelError.h"
#include "app/models/ModelStore.h"
#include "app/models/ModelText.h"
#include "platform/download/DownloadError.h"
#include "platform/download/FileDownload.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <unistd.h>

namespace kivo {
namespace {

constexpr std::uint64_t spaceMargin = 64ull << 20;

std::string name(ModelRole role)
{
    return std::string(ModelRoles::fileName(role));
}

[[noreturn]] void fileFailed(const std::string& what, const std::filesystem::path& path, const std::string& reason)
{
    throw ModelError(ModelError::Case::fileFailed, "Cannot " + what + " " + path.string() + ": " + reason + ".",
                     "無法處理 " + path.string() + "：" + reason + "。");
}

std::filesystem::path userFolder(ModelRole role)
{
    auto folder = ModelStore::folder();
    if (folder.empty()) {
        throw ModelError(ModelError::Case::fileFailed,
                         "Neither XDG_DATA_HOME nor HOME names a folder to put " + name(role) + " in.",
                         "XDG_DATA_HOME 及 HOME 都沒有指出可放 " + name(role) + " 的資料夾。");
    }
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        fileFailed("create", folder, error.message());
    }
    return folder;
}

// Held while one operation works on a model; flock, so a second process is refused as well.
class RoleLock {
public:
    explicit RoleLock(ModelRole role)
    {
        const auto path = userFolder(role) / ("." + name(role) + ".lock");
        descriptor_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (descriptor_ < 0) {
            fileFailed("open", path, std::strerror(errno));
        }
        if (::flock(descriptor_, LOCK_EX | LOCK_NB) != 0) {
            ::close(descriptor_);
            throw ModelError(ModelError::Case::busy,
                             "The " + std::string(ModelRoles::rawValue(role)) +
                                 " model is already being downloaded or imported; wait for it to finish.",
                             std::string(role == ModelRole::speech ? "語音" : "語言") +
                                 "模型正在下載或匯入，請等它完成。");
        }
    }
    ~RoleLock() { ::close(descriptor_); }
    RoleLock(const RoleLock&) = delete;
    RoleLock& operator=(const RoleLock&) = delete;

private:
    int descriptor_ = -1;
};

void removeQuietly(const std::filesystem::path& path)
{
    std::error_code error;
    std::filesystem::remove(path, error);
}

std::uint64_t sizeOf(const std::filesystem::path& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

std::string readText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool writeText(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out.flush());
}

void checkSpace(const std::filesystem::path& folder, std::uint64_t needed)
{
    std::error_code error;
    const auto space = std::filesystem::space(folder, error);
    // The margin keeps the disk usable for everything else; the message counts it, in the
    // units the Models window shows sizes in.
    if (!error && space.available < needed + spaceMargin) {
        const std::string required = ModelText::size(needed + spaceMargin);
        const std::string model = ModelText::size(needed);
        const std::string margin = ModelText::size(spaceMargin);
        const std::string free = ModelText::size(space.available);
        throw ModelError(ModelError::Case::notEnoughSpace,
                         "Not enough disk space in " + folder.string() + ": installing needs " + required + " free (" +
                             model + " for the model and " + margin + " left for the system), and " + free +
                             " are free. Free some space and try again.",
                         folder.string() + " 的磁碟空間不足：安裝需要 " + required + " 可用空間（模型 " + model +
                             "，另留 " + margin + " 給系統），現在只有 " + free + " 可用。請騰出空間後重試。");
    }
}

// Checks `file` (next to the fixed path) and renames it onto the fixed path; a file that fails
// is deleted.
ModelVerifier::Report checkAndPlace(const std::filesystem::path& file, ModelRole role, const std::string& sha256,
                                    const std::string& shownAs, const std::stop_token& stop)
{
    ModelVerifier::Report report;
    try {
        if (!sha256.empty()) {
            ModelVerifier::checkSum(file, sha256, stop);
        }
        report = ModelVerifier::check(file, role, shownAs);
    } catch (const ModelError& failure) {
        if (failure.kind() != ModelError::Case::cancelled) {
            removeQuietly(file);
        }
        throw;
    }
    if (stop.stop_requested()) {
        throw ModelError(ModelError::Case::cancelled, "Cancelled.", "已取消。");
    }
    std::error_code error;
    std::filesystem::rename(file, ModelStore::target(role), error);
    if (error) {
        removeQuietly(file);
        fileFailed("install", ModelStore::target(role), error.message());
    }
    return report;
}

std::string withFullStop(std::string text)
{
    if (!text.empty() && text.back() != '.') {
        text += '.';
    }
    return text;
}

ModelError fromDownload(const DownloadError& failure)
{
    using Case = DownloadError::Case;
    const std::string english = withFullStop(failure.what());
    switch (failure.kind()) {
    case Case::cancelled:
        return {ModelError::Case::cancelled, "Download cancelled; it resumes where it stopped next time.",
                "已取消下載；下次會從中斷處繼續。"};
    case Case::notFound: return {ModelError::Case::downloadFailed, english, "伺服器上沒有這個檔案（HTTP 404）。"};
    case Case::httpStatus:
        return {ModelError::Case::downloadFailed, english,
                "伺服器回應 HTTP " + std::to_string(failure.httpStatus()) + "。"};
    case Case::truncated:
        return {ModelError::Case::downloadFailed, english + " Download again to resume.",
                "連線在檔案完結前中斷；再下載一次會從中斷處繼續。"};
    case Case::diskFull:
        return {ModelError::Case::notEnoughSpace, english, "磁碟已滿；請騰出空間後再下載，會從中斷處繼續。"};
    case Case::writeFailed: return {ModelError::Case::fileFailed, english, "無法寫入下載檔案。"};
    case Case::network: break;
    }
    return {ModelError::Case::downloadFailed, english, "下載失敗：" + english};
}

} // namespace

void ModelInstaller::RateMeter::add(Clock::time_point at, std::uint64_t received)
{
    samples_.emplace_back(at, received);
    while (samples_.size() > 2 && at - samples_.front().first > std::chrono::seconds(5)) {
        samples_.pop_front();
    }
}

double ModelInstaller::RateMeter::bytesPerSecond() const
{
    if (samples_.size() < 2) {
        return 0;
    }
    const double seconds = std::chrono::duration<double>(samples_.back().first - samples_.front().first).count();
    return seconds > 0 ? static_cast<double>(samples_.back().second - samples_.front().second) / seconds : 0;
}

std::optional<double> ModelInstaller::RateMeter::secondsLeft(std::uint64_t received, std::uint64_t total) const
{
    const double rate = bytesPerSecond();
    if (total == 0 || rate <= 0 || received > total) {
        return std::nullopt;
    }
    return static_cast<double>(total - received) / rate;
}

ModelInstaller::Result ModelInstaller::download(const ModelCatalogue::Entry& entry, const ProgressHandler& onProgress,
                                                const std::stop_token& stop)
{
    const RoleLock lock(entry.role);
    const auto part = ModelStore::partial(entry.role);
    // The partial file resumes only the download it came from: another model's bytes would
    // be joined to this one's.
    const std::filesystem::path origin = part.string() + ".url";
    if (readText(origin) != entry.url) {
        removeQuietly(part);
    }
    if (!writeText(origin, entry.url)) {
        fileFailed("write", origin, std::strerror(errno));
    }
    const std::uint64_t existing = sizeOf(part);
    checkSpace(part.parent_path(), entry.bytes > existing ? entry.bytes - existing : 0);

    RateMeter meter;
    auto report = [&](const FileDownload::Progress& progress) {
        meter.add(RateMeter::Clock::now(), progress.received);
        if (onProgress) {
            onProgress({Progress::Phase::downloading, progress.received, progress.total, meter.bytesPerSecond(),
                        meter.secondsLeft(progress.received, progress.total)});
        }
    };
    FileDownload::Outcome outcome;
    try {
        outcome = FileDownload::into(entry.url, part, report, stop);
    } catch (const DownloadError& failure) {
        // Nothing received: no empty partial file stays behind.
        if (sizeOf(part) == 0) {
            removeQuietly(part);
            removeQuietly(origin);
        }
        throw fromDownload(failure);
    }
    if (onProgress) {
        onProgress({Progress::Phase::verifying, outcome.bytes, outcome.bytes, 0, std::nullopt});
    }
    Result result;
    // Failures name the file as the server does.
    const std::string served = entry.url.substr(entry.url.find_last_of('/') + 1);
    try {
        result.report = checkAndPlace(part, entry.role, entry.sha256, served.empty() ? entry.name : served, stop);
    } catch (const ModelError&) {
        if (!std::filesystem::exists(part)) {
            removeQuietly(origin);
        }
        throw;
    }
    removeQuietly(origin);
    result.file = ModelStore::target(entry.role);
    result.resumedFrom = outcome.resumedFrom;
    result.restartedFromZero = outcome.rangeIgnored;
    return result;
}

ModelInstaller::Result ModelInstaller::importFile(const std::filesystem::path& source, ModelRole role,
                                                  const std::stop_token& stop)
{
    ModelVerifier::checkHeader(source, role);
    const RoleLock lock(role);
    const auto copy = ModelStore::folder() / (name(role) + ".import");
    checkSpace(copy.parent_path(), sizeOf(source));
    std::error_code error;
    std::filesystem::copy_file(source, copy, std::filesystem::copy_options::overwrite_existing, error);
    if (error) {
        removeQuietly(copy);
        fileFailed("copy", source, error.message());
    }
    Result result;
    result.report = checkAndPlace(copy, role, {}, source.filename().string(), stop);
    result.file = ModelStore::target(role);
    return result;
}

ModelInstaller::Result ModelInstaller::verifyInstalled(ModelRole role)
{
    const auto file = ModelStore::installed(role);
    if (!file) {
        throw ModelError(ModelError::Case::notInstalled,
                         "No " + std::string(ModelRoles::rawValue(role)) + " model is installed (" + name(role) + ").",
                         std::string(role == ModelRole::speech ? "未安裝語音模型" : "未安裝語言模型") + "（" +
                             name(role) + "）。");
    }
    Result result;
    result.file = *file;
    result.report = ModelVerifier::check(*file, role);
    return result;
}

void ModelInstaller::remove(ModelRole role)
{
    const RoleLock lock(role);
    const auto target = ModelStore::target(role);
    removeQuietly(ModelStore::partial(role));
    removeQuietly(ModelStore::partial(role).string() + ".url");
    std::error_code error;
    if (!std::filesystem::exists(target, error)) {
        const auto system = ModelStore::installed(role);
        throw ModelError(ModelError::Case::notInstalled,
                         system
                             ? "Only the system-wide " + system->string() + " is installed; it is not Kivo's to remove."
                             : "No " + std::string(ModelRoles::rawValue(role)) + " model is installed in " +
                                   target.parent_path().string() + ".",
                         system ? "只有系統共用的 " + system->string() + "，Kivo 不會刪除它。"
                                : target.parent_path().string() + " 中沒有已安裝的模型。");
    }
    if (!std::filesystem::remove(target, error) || error) {
        fileFailed("remove", target, error ? error.message() : std::string("it vanished"));
    }
}

} // namespace kivo
