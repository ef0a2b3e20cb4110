#pragma once

#include "app/models/ModelCatalogue.h"
#include "app/models/ModelStore.h"
#include "platform/download/Sha256.h"
#include "tests/app/ScopedEnvironment.h"
#include "tests/platform/updates/LoopbackServer.h"
#include "tests/support/ChildProcess.h"
#include "tools/gguf/TinyChatModel.h"
#include "tools/whisper/TinyWhisperModel.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace kivo::test {

inline std::string readAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeAll(const std::filesystem::path& path, const std::string& bytes)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// The tiny generated models' bytes, made once per test program.
struct TinyModels {
    std::string language;
    std::string speech;

    static const TinyModels& shared()
    {
        static const TinyModels models = [] {
            TemporaryFolder folder;
            const std::filesystem::path root = folder.path();
            TinyChatModel{}.write((root / "tiny.gguf").string());
            TinyWhisperModel::write(root / "tiny.bin", TinyWhisperModel::Dimensions{});
            return TinyModels{readAll(root / "tiny.gguf"), readAll(root / "tiny.bin")};
        }();
        return models;
    }
};

// A private XDG data folder and a loopback server that serves both tiny models and a
// catalogue naming them.
class ModelsFixture : public ::testing::Test {
protected:
    void SetUp() override { serveModels({}); }

    void serveModels(LoopbackServer::Options options)
    {
        server.serve("/speech.bin", TinyModels::shared().speech, options);
        server.serve("/language.gguf", TinyModels::shared().language, options);
    }

    ModelCatalogue::Entry entry(ModelRole role, bool withChecksum = true) const
    {
        ModelCatalogue::Entry made;
        made.role = role;
        const std::string& bytes =
            role == ModelRole::speech ? TinyModels::shared().speech : TinyModels::shared().language;
        made.name = role == ModelRole::speech ? "tiny-speech" : "tiny-language";
        made.title = made.name;
        made.url = server.url(role == ModelRole::speech ? "/speech.bin" : "/language.gguf");
        made.bytes = bytes.size();
        made.sha256 = withChecksum ? Sha256::ofBytes(bytes) : std::string();
        made.cantonese = role == ModelRole::speech;
        return made;
    }

    // A catalogue file that points at the server.
    std::filesystem::path writeCatalogue() const
    {
        const auto path = std::filesystem::path(folder.path()) / "catalogue.json";
        std::string json = R"({"models":[)";
        for (const ModelRole role : ModelRoles::allCases) {
            const auto e = entry(role);
            json += std::string(role == ModelRole::speech ? "" : ",") + R"({"name":")" + e.name + R"(","role":")" +
                    std::string(ModelRoles::rawValue(role)) + R"(","title":")" + e.title + R"(","bytes":)" +
                    std::to_string(e.bytes) + R"(,"url":")" + e.url + R"(","sha256":")" + e.sha256 +
                    R"(","licence":"MIT","cantonese":)" + (e.cantonese ? "true" : "false") +
                    R"(,"pick":"For tests.","pickChinese":"測試用。"})";
        }
        writeAll(path, json + "]}");
        return path;
    }

    // A partial download of the catalogue's model, as an interrupted transfer leaves it.
    void writePartial(ModelRole role, const std::string& bytes) const
    {
        writeAll(ModelStore::partial(role), bytes);
        writeAll(ModelStore::partial(role).string() + ".url", entry(role).url);
    }

    bool installed(ModelRole role) const { return std::filesystem::exists(ModelStore::target(role)); }
    bool partial(ModelRole role) const { return std::filesystem::exists(ModelStore::partial(role)); }

    TemporaryFolder folder;
    std::filesystem::path dataHome = std::filesystem::path(folder.path()) / "data";
    ScopedEnvironment dataHomeSetting{"XDG_DATA_HOME", dataHome.string()};
    LoopbackServer server;
};

} // namespace kivo::test
