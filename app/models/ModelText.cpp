#include "app/models/ModelText.h"

#include "app/models/ModelStore.h"

#include <QCoreApplication>

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

// "312 MB of 1.1 GB", or only what arrived when the size is not known.
std::string amount(const ModelInstaller::Progress& progress)
{
    if (progress.total == 0) {
        return size(progress.received);
    }
    return QCoreApplication::translate("ModelText", "%1 of %2")
        .arg(QString::fromStdString(size(progress.received)), QString::fromStdString(size(progress.total)))
        .toStdString();
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

std::string duration(double seconds)
{
    const long total = std::lround(std::max(0.0, seconds));
    const long hours = total / 3600;
    const long minutes = total / 60 % 60;
    const long rest = total % 60;
    const QString text = hours > 0     ? QCoreApplication::translate("ModelText", "%1 h %2 min").arg(hours).arg(minutes)
                         : minutes > 0 ? QCoreApplication::translate("ModelText", "%1 min %2 s").arg(minutes).arg(rest)
                                       : QCoreApplication::translate("ModelText", "%1 s").arg(rest);
    return text.toStdString();
}

std::string kept(const ModelInstaller::Progress& progress)
{
    return QCoreApplication::translate("ModelText", "%1 kept; Download continues from there.")
        .arg(QString::fromStdString(amount(progress)))
        .toStdString();
}

std::string progress(const ModelInstaller::Progress& progress)
{
    if (progress.phase == ModelInstaller::Progress::Phase::verifying) {
        return QCoreApplication::translate("ModelText", "Downloaded %1; checking the file and trying to load it…")
            .arg(QString::fromStdString(size(progress.received)))
            .toStdString();
    }
    QString text = QCoreApplication::translate("ModelText", "%1", "amount downloaded so far")
                       .arg(QString::fromStdString(amount(progress)));
    if (progress.bytesPerSecond > 0) {
        text += QCoreApplication::translate("ModelText", " · %1/s")
                    .arg(QString::fromStdString(size(static_cast<std::uint64_t>(progress.bytesPerSecond))));
    }
    if (progress.secondsLeft) {
        text += QCoreApplication::translate("ModelText", " · %1 left")
                    .arg(QString::fromStdString(duration(*progress.secondsLeft)));
    }
    return text.toStdString();
}

std::string entryLine(const ModelCatalogue::Entry& entry)
{
    QString line = QString::fromStdString(entry.title + " · " + size(entry.bytes));
    if (!entry.licence.empty()) {
        line += QCoreApplication::translate("ModelText", " · licence %1").arg(QString::fromStdString(entry.licence));
    }
    if (entry.role == ModelRole::speech) {
        if (entry.cantonese) {
            line += QCoreApplication::translate("ModelText", " · knows Cantonese");
        } else if (entry.fineTunedCantonese) {
            line += QCoreApplication::translate("ModelText", " · Cantonese (fine-tuned)");
        } else {
            line += QCoreApplication::translate("ModelText", " · run as Mandarin");
        }
    }
    return line.toStdString();
}

std::string roleTitle(ModelRole role)
{
    if (role == ModelRole::speech) {
        return QCoreApplication::translate("ModelText", "Speech model (recognition)").toStdString();
    }
    return QCoreApplication::translate("ModelText", "Language model (conversion)").toStdString();
}

std::string installed(const std::filesystem::path& file, const std::string& report)
{
    return file.string() + " · " + size(sizeOf(file)) + " · " + report;
}

std::string notInstalled(ModelRole role)
{
    return QCoreApplication::translate("ModelText", "Not installed: no file at %1.")
        .arg(QString::fromStdString(ModelStore::searched(role).front().string()))
        .toStdString();
}

std::string done(const std::filesystem::path& file, const std::string& report)
{
    // The report may end with its own full stop, which the sentence's replaces.
    return QCoreApplication::translate("ModelText", "Installed %1: %2.")
        .arg(QString::fromStdString(file.string()), QString::fromStdString(withoutFullStop(report)))
        .toStdString();
}

std::string removed(ModelRole role)
{
    return QCoreApplication::translate("ModelText", "Removed %1.")
        .arg(QString::fromStdString(ModelStore::target(role).string()))
        .toStdString();
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
