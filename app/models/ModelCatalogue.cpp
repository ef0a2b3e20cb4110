#include "app/models/ModelCatalogue.h"

#include "app/models/ModelError.h"
#include "platform/updates/HttpClient.h"
#include "platform/updates/UpdateError.h"

#include <QFile>
#include <QSettings>
#include <QUrl>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

namespace kivo {
namespace {

constexpr std::uint64_t largestCatalogue = 1 << 20;
const QString settingKey = QStringLiteral("ModelCatalogue");

[[noreturn]] void invalid(const std::string& english, const std::string& chinese)
{
    throw ModelError(ModelError::Case::catalogueInvalid, "The model catalogue is not usable: " + english,
                     "模型目錄無法使用：" + chinese);
}

std::string text(const nlohmann::json& entry, const char* key, bool required)
{
    const auto found = entry.find(key);
    if (found == entry.end() || !found->is_string() || found->get<std::string>().empty()) {
        if (required) {
            invalid(std::string("an entry lacks \"") + key + "\".", std::string("有項目缺少「") + key + "」。");
        }
        return {};
    }
    return found->get<std::string>();
}

bool isHex(const std::string& value)
{
    return value.size() == 64 && value.find_first_not_of("0123456789abcdef") == std::string::npos;
}

bool isRemote(const std::string& source)
{
    return source.starts_with("http://") || source.starts_with("https://");
}

std::string resolved(const std::string& url, const std::string& base)
{
    // A catalogue from the network names no files of this machine.
    if (url.starts_with("file:") && (base.empty() || isRemote(base))) {
        invalid("\"" + url + "\" is a local file, which only a catalogue file may name.",
                "「" + url + "」是本機檔案，只有本機的模型目錄可以列出。");
    }
    if (base.empty() || url.find("://") != std::string::npos) {
        return url;
    }
    if (isRemote(base)) {
        return base.substr(0, base.rfind('/') + 1) + url;
    }
    // A catalogue file's relative entries are files next to it, downloaded as file URLs.
    const auto file = std::filesystem::absolute(std::filesystem::path(base).parent_path() / url).lexically_normal();
    return QUrl::fromLocalFile(QString::fromStdString(file.string())).toString(QUrl::FullyEncoded).toStdString();
}

} // namespace

ModelCatalogue ModelCatalogue::parse(const std::string& json, const std::string& base)
{
    const nlohmann::json document = nlohmann::json::parse(json, nullptr, false);
    if (document.is_discarded() || !document.is_object() || !document.contains("models") ||
        !document["models"].is_array()) {
        invalid("it is not a JSON object with a \"models\" list.", "不是含「models」清單的 JSON 物件。");
    }
    ModelCatalogue catalogue;
    for (const auto& item : document["models"]) {
        if (!item.is_object()) {
            invalid("an entry is not an object.", "有項目不是物件。");
        }
        Entry entry;
        entry.name = text(item, "name", true);
        const auto role = ModelRoles::named(text(item, "role", true));
        if (!role) {
            invalid("\"" + entry.name + "\" has a role other than speech or language.",
                    "「" + entry.name + "」的角色不是 speech 或 language。");
        }
        entry.role = *role;
        entry.title = text(item, "title", false);
        if (entry.title.empty()) {
            entry.title = entry.name;
        }
        entry.url = resolved(text(item, "url", true), base);
        entry.sha256 = text(item, "sha256", false);
        if (!entry.sha256.empty() && !isHex(entry.sha256)) {
            invalid("\"" + entry.name + "\" has a malformed SHA-256.", "「" + entry.name + "」的 SHA-256 格式錯誤。");
        }
        if (const auto bytes = item.find("bytes"); bytes != item.end() && bytes->is_number_unsigned()) {
            entry.bytes = bytes->get<std::uint64_t>();
        }
        entry.licence = text(item, "licence", false);
        if (const auto cantonese = item.find("cantonese"); cantonese != item.end()) {
            if (!cantonese->is_boolean()) {
                invalid("\"" + entry.name + "\" has a \"cantonese\" that is not true or false.",
                        "「" + entry.name + "」的 cantonese 不是 true 或 false。");
            }
            entry.cantonese = cantonese->get<bool>();
        }
        if (const auto fineTuned = item.find("fineTunedCantonese"); fineTuned != item.end()) {
            if (!fineTuned->is_boolean()) {
                invalid("\"" + entry.name + "\" has a \"fineTunedCantonese\" that is not true or false.",
                        "「" + entry.name + "」的 fineTunedCantonese 不是 true 或 false。");
            }
            entry.fineTunedCantonese = fineTuned->get<bool>();
        }
        entry.shape = text(item, "shape", false);
        entry.errorRate = text(item, "errorRate", false);
        entry.source = text(item, "source", false);
        entry.pick = text(item, "pick", false);
        entry.pickChinese = text(item, "pickChinese", false);
        if (entry.pickChinese.empty()) {
            entry.pickChinese = entry.pick;
        }
        if (catalogue.find(entry.name)) {
            invalid("\"" + entry.name + "\" is listed twice.", "「" + entry.name + "」重複列出。");
        }
        catalogue.entries.push_back(std::move(entry));
    }
    return catalogue;
}

std::string ModelCatalogue::builtInText()
{
    QFile file(QStringLiteral(":/kivo/models-catalogue.json"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll().toStdString();
}

ModelCatalogue ModelCatalogue::load(const std::string& source)
{
    if (source.empty()) {
        return parse(builtInText());
    }
    if (isRemote(source)) {
        try {
            return parse(HttpClient::fetch(source, largestCatalogue, 0), source);
        } catch (const UpdateError& failure) {
            invalid(std::string(failure.what()) + (std::string(failure.what()).ends_with('.') ? "" : "."),
                    "無法下載 " + source + "。");
        }
    }
    std::ifstream file(source, std::ios::binary);
    if (!file) {
        invalid("cannot read " + source + ".", "無法讀取 " + source + "。");
    }
    const std::string json((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return parse(json, source);
}

std::string ModelCatalogue::configuredSource()
{
    return QSettings(QStringLiteral("kivo"), QStringLiteral("Kivo")).value(settingKey).toString().toStdString();
}

void ModelCatalogue::setConfiguredSource(const std::string& source)
{
    QSettings settings(QStringLiteral("kivo"), QStringLiteral("Kivo"));
    if (source.empty()) {
        settings.remove(settingKey);
    } else {
        settings.setValue(settingKey, QString::fromStdString(source));
    }
}

const ModelCatalogue::Entry* ModelCatalogue::find(const std::string& name) const
{
    for (const auto& entry : entries) {
        if (entry.name == name) {
            return &entry;
        }
    }
    return nullptr;
}

std::vector<const ModelCatalogue::Entry*> ModelCatalogue::forRole(ModelRole role) const
{
    std::vector<const Entry*> found;
    for (const auto& entry : entries) {
        if (entry.role == role) {
            found.push_back(&entry);
        }
    }
    return found;
}

} // namespace kivo
