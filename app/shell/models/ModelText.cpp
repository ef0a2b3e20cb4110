#include "app/shell/models/ModelText.h"

#include "app/shell/models/ModelStore.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kivo::ModelText {
namespace {

std::string fixed(double value, int decimals)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

std::uint64_t sizeOf(const std::filesystem::path& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

} // namespace

std::string size(std::uint64_t bytes)
{
    const double value = static_cast<double>(bytes);
    if (value >= 1e9) {
        return fixed(value / 1e9, 1) + " GB";
    }
    if (value >= 1e6) {
        return fixed(value / 1e6, value >= 1e8 ? 0 : 1) + " MB";
    }
    if (value >= 1e3) {
        return fixed(value / 1e3, 0) + " kB";
    }
    return std::to_string(bytes) + " B";
}

std::string duration(double seconds, bool chinese)
{
    const long total = std::lround(std::max(0.0, seconds));
    const long hours = total / 3600;
    const long minutes = total / 60 % 60;
    const long rest = total % 60;
    if (chinese) {
        return hours > 0     ? std::to_string(hours) + " 小時 " + std::to_string(minutes) + " 分"
               : minutes > 0 ? std::to_string(minutes) + " 分 " + std::to_string(rest) + " 秒"
                             : std::to_string(rest) + " 秒";
    }
    return hours > 0     ? std::to_string(hours) + " h " + std::to_string(minutes) + " min"
           : minutes > 0 ? std::to_string(minutes) + " min " + std::to_string(rest) + " s"
                         : std::to_string(rest) + " s";
}

std::string kept(const ModelInstaller::Progress& progress, bool chinese)
{
    std::string amount = size(progress.received);
    if (progress.total != 0) {
        amount += (chinese ? "／" : " of ") + size(progress.total);
    }
    return chinese ? "已保留 " + amount + "；再按「下載」會從這裡繼續。"
                   : amount + " kept; Download continues from there.";
}

std::string progress(const ModelInstaller::Progress& progress, bool chinese)
{
    if (progress.phase == ModelInstaller::Progress::Phase::verifying) {
        return chinese ? "已下載 " + size(progress.received) + "；正在檢查檔案及試載模型…"
                       : "Downloaded " + size(progress.received) + "; checking the file and trying to load it…";
    }
    std::string text = chinese ? "已下載 " + size(progress.received) : size(progress.received);
    if (progress.total != 0) {
        text += chinese ? "／" + size(progress.total) : " of " + size(progress.total);
    }
    if (progress.bytesPerSecond > 0) {
        text += chinese ? " · 每秒 " + size(static_cast<std::uint64_t>(progress.bytesPerSecond))
                        : " · " + size(static_cast<std::uint64_t>(progress.bytesPerSecond)) + "/s";
    }
    if (progress.secondsLeft) {
        text += chinese ? " · 尚餘 " + duration(*progress.secondsLeft, true)
                        : " · " + duration(*progress.secondsLeft, false) + " left";
    }
    return text;
}

std::string entryLine(const ModelCatalogue::Entry& entry, bool chinese)
{
    std::string line = entry.title + " · " + size(entry.bytes);
    if (!entry.licence.empty()) {
        line += (chinese ? " · 授權 " : " · licence ") + entry.licence;
    }
    if (entry.role == ModelRole::speech) {
        if (entry.cantonese) {
            line += chinese ? " · 懂粵語" : " · knows Cantonese";
        } else if (entry.fineTunedCantonese) {
            line += chinese ? " · 粵語（微調）" : " · Cantonese (fine-tuned)";
        } else {
            line += chinese ? " · 以普通話辨識" : " · run as Mandarin";
        }
    }
    return line;
}

std::string roleTitle(ModelRole role, bool chinese)
{
    if (role == ModelRole::speech) {
        return chinese ? "語音模型（辨識）" : "Speech model (recognition)";
    }
    return chinese ? "語言模型（轉換）" : "Language model (conversion)";
}

std::string installed(const std::filesystem::path& file, const ModelVerifier::Report& report, bool chinese)
{
    return file.string() + " · " + size(sizeOf(file)) + " · " + (chinese ? report.chinese : report.english);
}

std::string notInstalled(ModelRole role, bool chinese)
{
    const std::string where = ModelStore::searched(role).front().string();
    return chinese ? "未安裝：找不到 " + where + "。" : "Not installed: no file at " + where + ".";
}

std::string done(const ModelInstaller::Result& result, bool chinese)
{
    return chinese ? "已安裝 " + result.file.string() + "：" + result.report.chinese + "。"
                   : joined("Installed " + result.file.string() + ": " + result.report.english, ".");
}

std::string removed(ModelRole role, bool chinese)
{
    const std::string file = ModelStore::target(role).string();
    return chinese ? "已刪除 " + file + "。" : "Removed " + file + ".";
}

std::string joined(const std::string& first, const std::string& second)
{
    const bool stops = !first.empty() && (first.back() == '.' || first.ends_with("。"));
    if (stops && second.starts_with(".")) {
        return first + second.substr(1);
    }
    if (stops && second.starts_with("。")) {
        return first + second.substr(std::string("。").size());
    }
    return first + second;
}

std::string withoutFullStop(std::string text)
{
    if (text.ends_with("。")) {
        text.resize(text.size() - std::string("。").size());
    } else if (text.ends_with('.')) {
        text.pop_back();
    }
    return text;
}

} // namespace kivo::ModelText
