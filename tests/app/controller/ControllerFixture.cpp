#include "tests/app/controller/ControllerFixture.h"

#include "app/shell/InterfaceLanguage.h"

namespace kivo::test {

using Status = SpeechSession::Status;

ScriptedRecorder::ScriptedRecorder(Callbacks callbacks, ScriptedRecorder** self) : callbacks(std::move(callbacks))
{
    *self = this;
}

void ScriptedRecorder::start(const Settings& settings)
{
    ++starts;
    lastSettings = settings;
    callbacks.onStatus(Status::requestingPermission);
}

void ScriptedRecorder::cancel()
{
    ++cancels;
    if (cancelReportsAtOnce) {
        endWithoutText();
    }
}

void ScriptedRecorder::endWithoutText()
{
    callbacks.onStatus(Status::idle);
    callbacks.onCompletion(std::nullopt);
}

void ControllerFixture::SetUp()
{
    ensureApplication();
    // A test that switched to Chinese leaves its catalogue installed for the next in the process.
    InterfaceLanguage::use(QString());
    Application::Options options;
    options.resourcesDirectory = bundle.resources();
    options.lockPath = bundle.lockPath().string();
    options.makeRecorder = [this](SpeechSession::Callbacks callbacks) {
        return std::make_unique<ScriptedRecorder>(std::move(callbacks), &recorder);
    };
    configure(options);
    app = std::make_unique<Application>(options);
    app->localize();
    change([](PanelSettings& settings) { settings.chinese = false; });
}

void ControllerFixture::configure(Application::Options&) {}

void ControllerFixture::type(const QString& text)
{
    panel().setSource(text, {static_cast<std::int64_t>(text.size()), 0});
    emit panel().sourceEdited();
}

void ControllerFixture::select(TextRange range)
{
    panel().setSource(state().source, range);
    emit panel().selectionChanged();
}

void ControllerFixture::change(const std::function<void(PanelSettings&)>& edit)
{
    PanelSettings settings = state().settings;
    edit(settings);
    panel().setSettings(settings);
}

void ControllerFixture::startRecording()
{
    emit panel().recordClicked();
    ASSERT_NE(recorder, nullptr);
    recorder->callbacks.onStatus(Status::preparing);
    recorder->callbacks.onStatus(Status::recording);
}

} // namespace kivo::test
