// kivo-sign-update: what a maintainer needs to publish an update.
//   kivo-sign-update generate-key             prints a new key pair (public key for Info.json)
//   kivo-sign-update pack BUNDLE ARCHIVE      writes the bundle folder as a .tar.gz
//   kivo-sign-update sign ARCHIVE VERSION URL prints the feed <item> (secret key in the
//                                             environment variable KIVO_UPDATE_SECRET_KEY)
#include "platform/process/HelpOption.h"
#include "platform/updates/Appcast.h"
#include "platform/updates/ArchiveTools.h"
#include "platform/updates/UpdateSignature.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::string readFile(const std::string& path)
{
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        throw std::runtime_error("cannot read " + path);
    }
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

int usage()
{
    std::cerr << "usage: kivo-sign-update generate-key\n"
                 "       kivo-sign-update pack BUNDLE-FOLDER ARCHIVE.tar.gz\n"
                 "       KIVO_UPDATE_SECRET_KEY=... kivo-sign-update sign ARCHIVE VERSION URL\n";
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (kivo::HelpOption::requested(argc, argv)) {
        usage();
        return 0;
    }
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    try {
        if (arguments.size() == 1 && arguments[0] == "generate-key") {
            const auto keys = kivo::UpdateSignature::generateKeyPair();
            std::cout << "SUPublicEDKey (configure with -DKIVO_UPDATE_PUBLIC_KEY): " << keys.publicKey << "\n"
                      << "secret key (keep private; KIVO_UPDATE_SECRET_KEY when signing): " << keys.secretKey << "\n";
            return 0;
        }
        if (arguments.size() == 3 && arguments[0] == "pack") {
            const std::string archive = kivo::ArchiveTools::pack(arguments[1]);
            std::ofstream out(arguments[2], std::ios::binary | std::ios::trunc);
            out << archive;
            if (!out) {
                throw std::runtime_error("cannot write " + arguments[2]);
            }
            return 0;
        }
        if (arguments.size() == 4 && arguments[0] == "sign") {
            const char* secret = std::getenv("KIVO_UPDATE_SECRET_KEY");
            if (secret == nullptr || *secret == '\0') {
                throw std::runtime_error("set KIVO_UPDATE_SECRET_KEY to the secret key");
            }
            const std::string archive = readFile(arguments[1]);
            kivo::Appcast::Item item;
            item.version = arguments[2];
            item.url = arguments[3];
            item.length = archive.size();
            item.signature = kivo::UpdateSignature::sign(archive, secret);
            std::cout << kivo::Appcast::itemXml(item, "Kivo " + item.version) << "\n";
            return 0;
        }
        return usage();
    } catch (const std::exception& error) {
        std::cerr << "kivo-sign-update: " << error.what() << "\n";
        return 1;
    }
}
