// The Models window offscreen against a loopback catalogue: both models installed without
// leaving it, the panel's event loop kept running, cancel, import and remove; screenshots of
// both languages.
#include "app/shell/models/ModelsWindow.h"
#include "app/models/ModelText.h"
#include "tests/app/controller/ControllerTestSupport.h"
#include "tests/app/models/ModelsFixture.h"
#include "tests/support/InterfaceLanguageScope.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace kivo {
namespace {

using namespace std::chrono_literals;

class ModelsWindowTest : public test::ModelsFixture {
protected:
    void SetUp() override
    {
        ModelsFixture::SetUp();
        test::ensureApplication();
        window = std::make_unique<ModelsWindow>(writeCatalogue().string());
        window->show();
        ASSERT_TRUE(test::waitUntil([&] { return window->catalogueLoaded(); }));
        // What the window reads of the installed files arrives from its workers.
        ASSERT_TRUE(test::waitUntil([&] {
            return !window->section(ModelRole::language).inspect->running() &&
                   !window->section(ModelRole::speech).inspect->running();
        }));
    }

    void save(const QString& name)
    {
        std::filesystem::create_directories(KIVO_ARTIFACTS_DIR);
        window->grab().save(QStringLiteral(KIVO_ARTIFACTS_DIR "/") + name);
    }

    std::unique_ptr<ModelsWindow> window;
};

TEST_F(ModelsWindowTest, BothModelsInstallFromTheWindowWhileTheEventLoopKeepsRunning)
{
    serveModels(test::LoopbackServer::Options::slow(3000000));
    EXPECT_TRUE(
        window->section(ModelRole::speech).installed->text().startsWith(QStringLiteral("Not installed: no file at ")));
    EXPECT_EQ(window->section(ModelRole::speech).choice->currentText(),
              QString::fromStdString("tiny-speech · " + ModelText::size(entry(ModelRole::speech).bytes) +
                                     " · licence MIT · knows Cantonese"));
    save(QStringLiteral("models-en-empty.png"));

    for (const ModelRole role : ModelRoles::allCases) {
        auto& section = window->section(role);
        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(20);
        int highest = 0;
        QStringList texts;
        section.download->click();
        EXPECT_FALSE(section.download->isEnabled());
        EXPECT_TRUE(section.cancel->isEnabled());
        ASSERT_TRUE(test::waitUntil(
            [&] {
                highest = std::max(highest, section.bar->value());
                if (!section.progress->text().isEmpty() && !texts.contains(section.progress->text())) {
                    texts << section.progress->text();
                }
                if (role == ModelRole::speech && texts.size() == 3) {
                    save(QStringLiteral("models-en-downloading.png"));
                    {
                        const test::InterfaceLanguageScope chinese(true);
                        window->localize();
                        save(QStringLiteral("models-zh-downloading.png"));
                    }
                    window->localize();
                }
                return !section.task->running();
            },
            60s));
        EXPECT_EQ(highest, 100);
        EXPECT_EQ(section.bar->value(), 100);
        EXPECT_TRUE(installed(role));
        EXPECT_TRUE(window->message->text().startsWith(QStringLiteral("Installed ") +
                                                       QString::fromStdString(ModelStore::target(role).string())))
            << window->message->text().toStdString();
        // Progress arrived in steps, with a rate, while the loop kept running.
        if (role == ModelRole::speech) {
            EXPECT_GE(texts.size(), 3) << texts.join(QStringLiteral(" | ")).toStdString();
            EXPECT_TRUE(texts.join(QStringLiteral("|")).contains(QStringLiteral("/s")));
            EXPECT_GE(ticks, 10);
        }
    }
    ASSERT_TRUE(test::waitUntil(
        [&] { return window->section(ModelRole::speech).installed->text().contains(QStringLiteral("yue")); }));
    ASSERT_TRUE(test::waitUntil(
        [&] { return window->section(ModelRole::language).installed->text().contains(QStringLiteral("general")); }));
    EXPECT_TRUE(window->section(ModelRole::language).remove->isEnabled());
    save(QStringLiteral("models-en-installed.png"));
    const test::InterfaceLanguageScope chinese(true);
    window->localize();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("模型"));
    EXPECT_EQ(window->section(ModelRole::speech).importFile->text(), QStringLiteral("使用磁碟上的檔案…"));
    EXPECT_TRUE(window->section(ModelRole::speech).installed->text().contains(QStringLiteral("粵語")));
    save(QStringLiteral("models-zh-installed.png"));
}

TEST_F(ModelsWindowTest, CancelImportAndRemoveWithConfirmation)
{
    serveModels(test::LoopbackServer::Options::slow(100000));
    auto& speech = window->section(ModelRole::speech);
    speech.download->click();
    ASSERT_TRUE(test::waitUntil([&] { return speech.bar->value() > 0; }, 20s));
    speech.cancel->click();
    ASSERT_TRUE(test::waitUntil([&] { return !speech.task->running(); }, 20s));
    EXPECT_FALSE(installed(ModelRole::speech));
    EXPECT_TRUE(partial(ModelRole::speech)); // kept for a resume
    EXPECT_EQ(window->message->text(), QStringLiteral("Download cancelled; it resumes where it stopped next time."));
    // The bar and the line show what is kept instead of dropping to nothing.
    EXPECT_GT(speech.bar->value(), 0);
    EXPECT_TRUE(speech.progress->text().endsWith(QStringLiteral(" kept; Download continues from there.")))
        << speech.progress->text().toStdString();

    auto& language = window->section(ModelRole::language);
    const auto broken = std::filesystem::path(folder.path()) / "broken.gguf";
    test::writeAll(broken, "GGUF and then nothing");
    window->chooseFile = [&](ModelRole) { return QString::fromStdString(broken.string()); };
    language.importFile->click();
    ASSERT_TRUE(test::waitUntil([&] { return !language.task->running(); }, 20s));
    EXPECT_FALSE(installed(ModelRole::language));
    EXPECT_TRUE(
        window->message->text().startsWith(QStringLiteral("broken.gguf does not load: unavailable(modelInvalid")))
        << window->message->text().toStdString();

    const auto good = std::filesystem::path(folder.path()) / "good.gguf";
    test::writeAll(good, test::TinyModels::shared().language);
    window->chooseFile = [&](ModelRole) { return QString::fromStdString(good.string()); };
    language.importFile->click();
    ASSERT_TRUE(test::waitUntil([&] { return !language.task->running() && language.remove->isEnabled(); }, 20s));
    EXPECT_TRUE(installed(ModelRole::language));

    QString asked;
    window->confirm = [&](const QString& question) {
        asked = question;
        return false;
    };
    language.remove->click();
    EXPECT_TRUE(asked.startsWith(QStringLiteral("Remove ") +
                                 QString::fromStdString(ModelStore::target(ModelRole::language).string())));
    EXPECT_TRUE(asked.endsWith(QStringLiteral("Text cannot be converted until another language model is installed.")))
        << asked.toStdString();
    EXPECT_TRUE(installed(ModelRole::language));
    window->confirm = [](const QString&) { return true; };
    language.remove->click();
    EXPECT_FALSE(installed(ModelRole::language));

    // A change made outside the window (`Kivo --models install` in a terminal) shows by itself.
    test::writeAll(ModelStore::target(ModelRole::language), test::TinyModels::shared().language);
    EXPECT_TRUE(test::waitUntil([&] { return language.remove->isEnabled(); }, 20s));
    std::filesystem::remove(ModelStore::target(ModelRole::language));
    EXPECT_TRUE(test::waitUntil([&] { return !language.remove->isEnabled(); }, 20s));
}

} // namespace
} // namespace kivo
