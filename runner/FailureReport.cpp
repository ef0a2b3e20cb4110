#include "runner/FailureReport.h"

#include "platform/languagemodel/LanguageModelError.h"
#include "protocol/DebugText.h"
#include "protocol/RunnerError.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

namespace kivo::FailureReport {
namespace {

std::string demangled(const std::type_info& type)
{
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> name(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
    return status == 0 && name ? std::string(name.get()) : std::string(type.name());
}

} // namespace

ErrorReport of(const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const RunnerError& error) {
        return {error.typeName(), error.debugDescription(), error.what()};
    } catch (const LanguageModelError& error) {
        return {std::string(LanguageModelError::typeName), error.debugDescription(), error.what()};
    } catch (const std::exception& error) {
        const std::string type = demangled(typeid(error));
        return {type, type + "(" + DebugText::quoted(error.what()) + ")", error.what()};
    } catch (...) {
        return {"unknown", "unknown", "The operation couldn\u2019t be completed."};
    }
}

} // namespace kivo::FailureReport
