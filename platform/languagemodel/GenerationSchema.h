#pragma once

#include <string>
#include <vector>

namespace kivo {

// The shape of a generated record: a named object whose properties are all strings, all
// required, none extra. Guided generation turns its JSON schema into a grammar.
struct GenerationSchema {
    std::string typeName;
    std::vector<std::string> stringProperties;

    // The JSON schema as compact text, e.g.
    // {"type":"object","title":"RewriteResult","properties":{"text":{"type":"string"}},...}
    std::string jsonSchemaText() const;

    // What is appended to the user's prompt when the schema is included in it.
    std::string promptText() const;
};

} // namespace kivo
