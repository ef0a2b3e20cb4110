#pragma once

#include "platform/updates/Appcast.h"
#include "platform/updates/ArchiveTools.h"
#include "platform/updates/UpdateService.h"
#include "platform/updates/UpdateSignature.h"
#include "tests/platform/updates/LoopbackServer.h"

#include <filesystem>
#include <fstream>
#include <string>

#include <stdlib.h>
#include <sys/stat.h>

namespace kivo::test {

inline constexpr const char* kivoIdentifier = "local.kivo.afm-trial";

// An installed bundle in a temporary folder, a signing key, and a loopback feed offering a
// newer signed version of it.
class UpdateFixture {
public:
    UpdateFixture()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "kivo-update-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
        installed = root / "Kivo";
        writeBundle(installed, "0.1.0", kivoIdentifier);
        keys = UpdateSignature::generateKeyPair();
    }
    ~UpdateFixture() { std::filesystem::remove_all(root); }

    static void writeBundle(const std::filesystem::path& bundle, const std::string& version,
                            const std::string& identifier)
    {
        std::filesystem::create_directories(bundle / "bin");
        std::ofstream(bundle / "Info.json")
            << R"({"CFBundleIdentifier":")" << identifier
            << R"(","CFBundleExecutable":"Kivo","CFBundleShortVersionString":")" << version << "\"}";
        std::ofstream(bundle / "bin" / "Kivo") << "#!/bin/sh\n";
        ::chmod((bundle / "bin" / "Kivo").c_str(), 0755);
    }

    // Publishes `version` packed from a bundle folder, signed with `signingKey` (default: ours).
    void publish(const std::string& version, const std::string& identifier = kivoIdentifier,
                 std::string signingKey = {})
    {
        const auto source = root / ("source-" + version);
        writeBundle(source / "Kivo", version, identifier);
        const std::string archive = ArchiveTools::pack(source);
        server.serve("/Kivo-" + version + ".tar.gz", archive);
        Appcast::Item item{version, server.url("/Kivo-" + version + ".tar.gz"), archive.size(),
                           UpdateSignature::sign(archive, signingKey.empty() ? keys.secretKey : signingKey)};
        items += Appcast::itemXml(item, "Kivo " + version);
        server.serve("/appcast.xml", std::string("<?xml version=\"1.0\"?>\n<rss version=\"2.0\" xmlns:kivo=\"") +
                                         Appcast::xmlNamespace + "\">\n  <channel>\n" + items +
                                         "  </channel>\n</rss>\n");
    }

    UpdateService::Configuration configuration() const
    {
        return {server.url("/appcast.xml"), keys.publicKey, "0.1.0", kivoIdentifier, installed, {}};
    }

    std::string installedVersion() const
    {
        std::ifstream file(installed / "Info.json");
        const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        const auto at = text.find("CFBundleShortVersionString\":\"");
        return at == std::string::npos ? "" : text.substr(at + 29, text.find('"', at + 29) - at - 29);
    }

    // Everything next to the installed bundle other than the sources: staging leftovers.
    int leftovers() const
    {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(root)) {
            const auto name = entry.path().filename().string();
            count += name != "Kivo" && name.rfind("source-", 0) != 0 ? 1 : 0;
        }
        return count;
    }

    std::filesystem::path root;
    std::filesystem::path installed;
    UpdateSignature::KeyPair keys;
    LoopbackServer server;
    std::string items;
};

} // namespace kivo::test
