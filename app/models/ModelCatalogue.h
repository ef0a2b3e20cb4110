#pragma once

#include "app/models/ModelRole.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kivo {

// The models Kivo offers to download, read from a JSON catalogue: the built-in one, or an
// organisation's own mirror given as a URL or a file.
struct ModelCatalogue {
    struct Entry {
        std::string name; // what `install NAME` takes
        ModelRole role = ModelRole::speech;
        std::string title;
        std::uint64_t bytes = 0; // the published size, for the space check and the display
        std::string url;
        std::string sha256; // lower-case hex; empty where none is published
        std::string licence;
        bool cantonese = false; // a speech model that knows "yue"
        // A speech model trained further on Cantonese: decoded as "zh", it still writes Cantonese.
        bool fineTunedCantonese = false;
        // The architecture the speed measurement stands for: base, small or large-v3-turbo for
        // speech; 0.5b, 1.5b or 3b for language. Empty: not measured.
        std::string shape;
        std::string errorRate; // the published figure with its test set; empty where none is
        std::string source;    // the model card the figures and licence come from
        std::string pick;
        std::string pickChinese;
    };

    std::vector<Entry> entries;

    // Throws ModelError (catalogueInvalid) naming what is wrong. Relative URLs are taken
    // relative to `base` (the catalogue's own address or folder) when it is given.
    static ModelCatalogue parse(const std::string& json, const std::string& base = {});
    // The catalogue at an http(s) URL or in a file; empty: the built-in one.
    static ModelCatalogue load(const std::string& source);
    static std::string builtInText();

    // Where the catalogue comes from when no option names one: the setting, else built in.
    static std::string configuredSource();
    static void setConfiguredSource(const std::string& source);

    const Entry* find(const std::string& name) const;
    std::vector<const Entry*> forRole(ModelRole role) const;
};

} // namespace kivo
