// Model runs against small scripted runners placed in a test bundle.
#include "app/controller/Conversion.h"
#include "app/controller/RunLock.h"
#include "app/models/ModelStore.h"
#include "tests/app/controller/ControllerFixture.h"
#include "tests/app/shell/PanelWidgets.h"

#include <QFileInfo>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

namespace kivo {
namespace {

using namespace std::chrono_literals;

constexpr const char* source = "請打 ABC123 俾我";

class ModelRun : public test::ControllerFixture {
protected:
    void configure(Application::Options& options) override
    {
        options.modelTimeLimit = 400ms;
        options.deliver = [this](const std::string& text) { delivered.push_back(text); };
    }

    void SetUp() override
    {
        ControllerFixture::SetUp();
        change([](PanelSettings& settings) { settings.modeIndex = 3; }); // English output
        type(QString::fromUtf8(source));
    }

    QString result() { return state().result; }
    Conversion& conversion() { return app->conversion(); }

    // Starts a run and waits until it has ended by any path.
    void convert()
    {
        emit panel().convertClicked();
        ASSERT_TRUE(test::waitUntil([this] { return !conversion().running(); }));
    }

    void expectIdleAndUnlocked(const std::string& original = source)
    {
        EXPECT_FALSE(conversion().running());
        EXPECT_FALSE(conversion().timed());
        EXPECT_EQ(conversion().lockDescriptor(), -1);
        auto again = RunLock::acquire(bundle.lockPath().string());
        EXPECT_EQ(again.outcome, RunLock::Outcome::locked);
        RunLock::release(again.descriptor);
        EXPECT_EQ(state().source, QString::fromStdString(original)) << "the Original text must stay";
        EXPECT_TRUE(state().activity.idle());
    }

    // What the runner script saved from its standard input under this name.
    std::string saved(const std::string& name)
    {
        std::ifstream file(bundle.resources() / name);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    void expectFailure(const QString& description)
    {
        EXPECT_EQ(status(), QStringLiteral("未完成：") + description + QStringLiteral(" 原文保留。"));
        EXPECT_TRUE(result().isEmpty());
        EXPECT_FALSE(state().resultCopyable);
        EXPECT_TRUE(delivered.empty());
        expectIdleAndUnlocked();
    }

    std::vector<std::string> delivered;
};

TEST_F(ModelRun, ValidReplyRestoresLiteralsAndHandsTheResultOver)
{
    bundle.setRunnerScript("cat > \"$0.request\"\n"
                           "printf '%s\\n' '{\"elapsedSeconds\":0.46,\"status\":\"generated\",\"text\":\"Please call "
                           "\xE2\x9F\xA6KIVO7_0\xE2\x9F\xA7 for me.\"}'");
    change([](PanelSettings& settings) { settings.autoInsert = true; });
    convert();
    EXPECT_EQ(result(), QStringLiteral("Please call ABC123 for me."));
    EXPECT_EQ(status(), QStringLiteral("Completed in 0.5 s."));
    EXPECT_TRUE(state().resultCopyable);
    EXPECT_TRUE(state().settings.editorExpanded);
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0], "Please call ABC123 for me.");
    expectIdleAndUnlocked();

    // The runner received the masked source; the literals stay with the app.
    const std::string request = saved("rewrite-runner.request");
    EXPECT_NE(request.find("\xE2\x9F\xA6KIVO7_0\xE2\x9F\xA7"), std::string::npos) << request;
    EXPECT_EQ(request.find("literalMapJSON"), std::string::npos);
    EXPECT_EQ(request.find("ABC123\","), std::string::npos) << "the literal must be masked in the source";
}

TEST_F(ModelRun, TheRunnersProgressShowsWhileItRunsAndGivesWayToTheResult)
{
    // An answer longer than expected shows its own count.
    bundle.setRunnerScript("cat > /dev/null; printf '50 40\\n' >&3; while [ ! -e \"$0.go\" ]; do sleep 0.01; done\n"
                           "echo '{\"elapsedSeconds\":0.46,\"status\":\"generated\",\"text\":\"Call "
                           "\xE2\x9F\xA6KIVO7_0\xE2\x9F\xA7\"}'");
    panel().setResult(QStringLiteral("earlier result"), true);
    emit panel().convertClicked();
    EXPECT_TRUE(state().result.isEmpty());
    EXPECT_TRUE(test::waitUntil([this] {
        return status() == QStringLiteral("Processing (up to 30 s)… 50 of about 50 tokens written");
    })) << status().toStdString();
    std::ofstream(bundle.resources() / "rewrite-runner.go").close();
    ASSERT_TRUE(test::waitUntil([this] { return !conversion().running(); }));
    EXPECT_EQ(status(), QStringLiteral("Completed in 0.5 s."));
}

TEST_F(ModelRun, WithoutAutomaticInsertionTheStatusAsksForReviewAndNothingIsDelivered)
{
    bundle.setRunnerScript("cat > /dev/null; echo '{\"elapsedSeconds\":1.25,\"status\":\"generated\",\"text\":\"Hello "
                           "\xE2\x9F\xA6KIVO7_0\xE2\x9F\xA7\"}'");
    change([](PanelSettings& settings) { settings.autoInsert = false; });
    change([](PanelSettings& settings) { settings.chinese = true; });
    convert();
    EXPECT_EQ(status(), QStringLiteral("英文翻譯完成 · 1.2 秒。 可檢閱後複製。"));
    EXPECT_TRUE(delivered.empty());
}

TEST_F(ModelRun, ResultNeedingReviewIsShownButNeverInserted)
{
    bundle.setRunnerScript("cat > /dev/null; echo '{\"elapsedSeconds\":2,\"status\":\"generated\",\"text\":\"你好 "
                           "\xE2\x9F\xA6KIVO7_0\xE2\x9F\xA7\"}'");
    change([](PanelSettings& settings) { settings.autoInsert = true; });
    convert();
    EXPECT_EQ(result(), QStringLiteral("你好 ABC123"));
    EXPECT_TRUE(status().startsWith(QStringLiteral("Review needed · 2.0 s.")));
    EXPECT_TRUE(status().endsWith(QStringLiteral("not inserted.")));
    EXPECT_TRUE(delivered.empty());
}

TEST_F(ModelRun, ReplyWithoutElapsedSecondsShowsAQuestionMark)
{
    bundle.setRunnerScript(
        "cat > /dev/null; echo '{\"status\":\"generated\",\"text\":\"Hello \xE2\x9F\xA6KIVO7_0\xE2\x9F\xA7\"}'");
    change([](PanelSettings& settings) { settings.autoInsert = false; });
    convert();
    EXPECT_EQ(status(), QStringLiteral("Completed in ? s. Review before copying."));
    bundle.setRunnerScript(
        "cat > /dev/null; echo '{\"elapsedSeconds\":\"0.5\",\"status\":\"generated\",\"text\":\"Hello "
        "\xE2\x9F\xA6KIVO7_0\xE2\x9F\xA7\"}'");
    convert();
    EXPECT_EQ(status(), QStringLiteral("Completed in ? s. Review before copying."));
}

TEST_F(ModelRun, FailingRepliesClearResultKeepOriginalAndReleaseTheLock)
{
    struct Case {
        const char* script;
        QString description;
    };
    const Case cases[] = {
        {"cat > /dev/null; echo '{\"status\":\"empty\",\"elapsedSeconds\":0.1}'",
         QStringLiteral("The language model gave no result. Convert again.")},
        {"cat > /dev/null; echo '{\"status\":\"error\",\"error\":\"E\",\"localizedError\":\"Model busy\"}'",
         QStringLiteral("Model busy")},
        {"cat > /dev/null; echo '{\"status\":\"error\",\"error\":\"Only error\"}'", QStringLiteral("Only error")},
        {"cat > /dev/null; echo 'runner crashed: out of memory' >&2; exit 3",
         QStringLiteral("runner crashed: out of memory\n")},
        {"cat > /dev/null; echo 'not json'; echo 'bad reply' >&2", QStringLiteral("bad reply\n")},
        {"cat > /dev/null; echo '[1,2]'",
         QStringLiteral("The language model's runner's reply could not be read (not a JSON object). Reinstall Kivo.")},
        {"cat > /dev/null; exit 3",
         QStringLiteral("The language model's runner exited with status 3 without a reply. Reinstall Kivo.")},
        {"cat > /dev/null; echo "
         "'{\"status\":\"error\",\"availability\":\"available\",\"errorType\":\"rewrite_runner.Run.ProbeError\","
         "\"error\":\"ProbeError.budgetExceeded\",\"localizedError\":\"The operation couldn’t be completed.\"}'",
         QStringLiteral(
             "The text is too long for the on-device model. Shorten it, or select part of it and convert that.")},
        // A reply is only as good as the exit status that comes with it.
        {"cat > /dev/null; echo '{\"status\":\"generated\",\"text\":\"Hello\"}'; echo 'late failure' >&2; exit 1",
         QStringLiteral("late failure\n")},
        // Fields of the wrong type are missing fields.
        {"cat > /dev/null; echo '{\"status\":\"generated\",\"text\":5}'",
         QStringLiteral("The language model gave no result. Convert again.")},
        // Text that comes with any other status is no result.
        {"cat > /dev/null; echo '{\"status\":\"refused\",\"text\":\"partial\",\"error\":\"Refused\"}'",
         QStringLiteral("Refused")},
        {"cat > /dev/null; echo '{\"status\":\"generated\",\"text\":\"token dropped\"}'",
         QStringLiteral("The model changed a protected name or number, so the result was withheld. Convert a shorter "
                        "selection, or edit the text yourself.")},
    };
    for (const Case& failure : cases) {
        SCOPED_TRACE(failure.script);
        panel().setResult(QStringLiteral("earlier result"), false);
        bundle.setRunnerScript(failure.script);
        convert();
        expectFailure(failure.description);
    }

    // A blank answer to a source without literals.
    type(QStringLiteral("今日天氣好好"));
    bundle.setRunnerScript("cat > /dev/null; printf '%s\\n' '{\"status\":\"generated\",\"text\":\"  \\n \"}'");
    convert();
    EXPECT_EQ(
        status(),
        QStringLiteral(
            "未完成：The language model returned an empty result. Convert again, or reword the original. 原文保留。"));
    EXPECT_EQ(state().source, QStringLiteral("今日天氣好好"));
    EXPECT_EQ(conversion().lockDescriptor(), -1);
}

TEST_F(ModelRun, MissingModelGivesAnActionableMessage)
{
    bundle.setRunnerScript("cat > /dev/null; echo '{\"availability\":\"unavailable(modelNotFound: no file at "
                           "\\/x\\/language-model.gguf)\","
                           "\"status\":\"error\",\"localizedError\":\"The operation couldn’t be completed.\"}'");
    convert();
    EXPECT_EQ(status(), QStringLiteral("未完成：No language model is installed. Download one. 原文保留。"));
    // The runtime's reason and the first place the runner searches, as this environment sets
    // it, are in the tooltip, never in the status itself.
    const QString tooltip = test::PanelWidgets(panel()).status->toolTip();
    EXPECT_TRUE(tooltip.contains(QStringLiteral("modelNotFound: no file at /x/language-model.gguf")))
        << tooltip.toStdString();
    EXPECT_TRUE(tooltip.contains(QString::fromStdString(ModelStore::searched(ModelRole::language).front().string())))
        << tooltip.toStdString();
    EXPECT_FALSE(tooltip.contains(QStringLiteral("~/")));
    EXPECT_TRUE(state().statusOffersModels);
    EXPECT_TRUE(result().isEmpty());
    expectIdleAndUnlocked();
}

TEST_F(ModelRun, TimeLimitKillsTheRunner)
{
    bundle.setRunnerScript("echo $$ > \"$0.pid\"\nexec sleep 40");
    emit panel().convertClicked();
    ASSERT_TRUE(conversion().running());
    EXPECT_TRUE(conversion().timed());
    EXPECT_GE(conversion().lockDescriptor(), 0);
    EXPECT_EQ(status(), QStringLiteral("Processing (up to 30 s)…"));
    ASSERT_TRUE(test::waitUntil([this] { return !conversion().running(); }, 20000ms));
    EXPECT_EQ(status(), QStringLiteral("The language model stopped after 30 seconds. Original retained."));
    std::ifstream pidFile(bundle.resources() / "rewrite-runner.pid");
    pid_t pid = 0;
    pidFile >> pid;
    ASSERT_GT(pid, 0);
    EXPECT_NE(::kill(pid, 0), 0) << "the runner must be gone";
    EXPECT_TRUE(result().isEmpty());
    expectIdleAndUnlocked();
}

TEST_F(ModelRun, ConvertWhileRunningDoesNothingAndCancelStops)
{
    bundle.setRunnerScript("exec sleep 40");
    emit panel().convertClicked();
    ASSERT_TRUE(conversion().running());
    const QUuid epoch = conversion().epoch();
    panel().setStatus(QStringLiteral("marker"));
    conversion().run();
    EXPECT_EQ(conversion().epoch(), epoch);
    EXPECT_EQ(status(), QStringLiteral("marker"));
    EXPECT_TRUE(state().activity.converting);

    emit panel().cancelClicked();
    EXPECT_EQ(status(), QStringLiteral("Cancelled. Original retained."));
    EXPECT_NE(conversion().epoch(), epoch);
    expectIdleAndUnlocked();
}

TEST_F(ModelRun, StopIgnoresACompletionAlreadyQueued)
{
    bundle.setRunnerScript("cat > /dev/null; echo '{\"status\":\"generated\",\"text\":\"Hello\"}'");
    emit panel().convertClicked();
    ASSERT_TRUE(conversion().running());
    // Without running the event loop the runner finishes and its completion waits in the queue.
    std::this_thread::sleep_for(1500ms);
    conversion().stop(QStringLiteral("stopped"));
    test::spin(300ms);
    EXPECT_EQ(status(), QStringLiteral("stopped"));
    EXPECT_TRUE(result().isEmpty());
    expectIdleAndUnlocked();
}

TEST_F(ModelRun, HeldLockRefusesTheRunAndLeavesTheResult)
{
    bundle.setRunnerScript("cat > /dev/null; echo '{\"status\":\"generated\",\"text\":\"Hello\"}'");
    auto other = RunLock::acquire(bundle.lockPath().string());
    ASSERT_EQ(other.outcome, RunLock::Outcome::locked);
    panel().setResult(QStringLiteral("earlier result"), false);
    emit panel().convertClicked();
    EXPECT_FALSE(conversion().running());
    EXPECT_EQ(conversion().lockDescriptor(), -1);
    EXPECT_EQ(status(), QStringLiteral("Another language model test is running. Try again later."));
    EXPECT_EQ(result(), QStringLiteral("earlier result"));
    RunLock::release(other.descriptor);
}

// A lock file another user could have prepared is refused with a message that says why.
TEST_F(ModelRun, UnsafeLockFileRefusesTheRunAndSaysWhy)
{
    bundle.setRunnerScript("cat > /dev/null; echo '{\"status\":\"generated\",\"text\":\"Hello\"}'");
    const std::string path = bundle.lockPath().string();
    std::ofstream(path).put('x');
    ::chmod(path.c_str(), 0644);
    panel().setResult(QStringLiteral("earlier result"), false);
    emit panel().convertClicked();
    EXPECT_FALSE(conversion().running());
    EXPECT_EQ(conversion().lockDescriptor(), -1);
    EXPECT_EQ(
        status(),
        QStringLiteral("The language model's process lock %1 is unsafe (not your file, permissions other than 0600, "
                       "or a link). Delete it and try again.")
            .arg(QString::fromStdString(path)));
    EXPECT_EQ(result(), QStringLiteral("earlier result"));
    change([](PanelSettings& settings) { settings.chinese = true; });
    emit panel().convertClicked();
    EXPECT_TRUE(status().startsWith(QStringLiteral("語言模型執行鎖 ") + QString::fromStdString(path) +
                                    QStringLiteral(" 不安全")));
    EXPECT_EQ(QFileInfo(QString::fromStdString(path)).permissions() & QFileDevice::ReadOther, QFileDevice::ReadOther)
        << "the file is left alone";
}

// The limit stops a run no earlier than stated: a coarse timer may fire 5 % early.
TEST_F(ModelRun, TimeLimitNeverStopsEarly)
{
    bundle.setRunnerScript("sleep 10");
    for (int attempt = 0; attempt < 5; ++attempt) {
        emit panel().convertClicked(); // the limit starts as the click returns
        const auto started = std::chrono::steady_clock::now();
        ASSERT_TRUE(conversion().running());
        ASSERT_TRUE(test::waitUntil([this] { return !conversion().running(); }));
        EXPECT_GE(std::chrono::steady_clock::now() - started, 400ms) << "attempt " << attempt;
        EXPECT_EQ(status(), QStringLiteral("The language model stopped after 30 seconds. Original retained."));
    }
}

TEST_F(ModelRun, StartFailuresShowTheirOwnMessage)
{
    type({});
    emit panel().convertClicked();
    EXPECT_EQ(status(), QStringLiteral("請輸入文字；短句試用上限為 24,000 UTF-8 bytes。"));
    EXPECT_EQ(conversion().lockDescriptor(), -1);

    // No runner in the bundle: the message names the missing program.
    type(QString::fromUtf8(source));
    panel().setResult(QStringLiteral("earlier result"), true);
    emit panel().convertClicked();
    EXPECT_TRUE(status().startsWith(QStringLiteral("Could not start the language model's runner ")));
    EXPECT_TRUE(status().contains(QString::fromStdString((bundle.resources() / "rewrite-runner").string())));
    EXPECT_TRUE(result().isEmpty());
    EXPECT_FALSE(state().resultCopyable);
    expectIdleAndUnlocked();
}

TEST_F(ModelRun, ConvertsOnlyTheSelection)
{
    bundle.setRunnerScript("cat > \"$0.request\"; echo '{\"status\":\"generated\",\"text\":\"Hi\"}'");
    select({0, 2});
    convert();
    const std::string request = saved("rewrite-runner.request");
    EXPECT_NE(request.find("\"source\":\"請打\""), std::string::npos) << request.substr(0, 400);
}

// A text too long for one run goes in pieces cut after sentences, one runner each, with the
// count in the status; the joined result is handed over once, and a failing piece ends it all.
TEST_F(ModelRun, ALongTextIsConvertedPieceByPieceAndJoined)
{
    std::string longText;
    for (int i = 0; i < 117; ++i) {
        longText += "今日天氣好。"; // 702 characters: pieces of 300, 300 and 102
    }
    type(QString::fromStdString(longText));
    const auto calls = bundle.resources() / "calls";
    // Each run counts itself in `calls`, then does `then` and answers with its number.
    const auto countingRunner = [&](const std::string& then) {
        bundle.setRunnerScript("n=$(($(cat '" + calls.string() + "' 2>/dev/null || echo 0) + 1)); echo $n > '" +
                               calls.string() + "'; " + then +
                               "; printf '{\"status\":\"generated\",\"text\":\"piece %s. \"}' $n");
    };
    countingRunner("cat > '" + calls.string() + ".'$n");
    std::vector<QString> statuses;
    emit panel().convertClicked();
    ASSERT_TRUE(test::waitUntil(
        [&] {
            statuses.push_back(status());
            return !result().isEmpty();
        },
        20s))
        << status().toStdString();
    EXPECT_EQ(result(), QStringLiteral("piece 1. piece 2. piece 3."));
    EXPECT_EQ(delivered, std::vector<std::string>{"piece 1. piece 2. piece 3."});
    for (const char* count : {"1 / 3", "2 / 3", "3 / 3"}) {
        EXPECT_TRUE(std::any_of(statuses.begin(), statuses.end(), [&](const QString& text) {
            return text.contains(QString::fromLatin1(count));
        })) << count;
    }
    const std::string request = saved("calls.3");
    EXPECT_NE(request.find("今日天氣好。"), std::string::npos);
    EXPECT_EQ(request.find(longText.substr(0, 400)), std::string::npos) << "each run sees its piece only";
    expectIdleAndUnlocked(longText);

    // Two pieces, the second fails: no result, and the next run starts from the first piece again.
    const std::string twoPieces = longText.substr(0, longText.size() / 2);
    type(QString::fromStdString(twoPieces));
    std::filesystem::remove(calls);
    countingRunner("cat > /dev/null; [ $n = 2 ] && exit 3");
    emit panel().convertClicked();
    ASSERT_TRUE(test::waitUntil([&] { return status().contains(QStringLiteral("status 3")); }, 20s))
        << status().toStdString();
    test::spin(300ms);
    EXPECT_TRUE(result().isEmpty());
    expectIdleAndUnlocked(twoPieces);
}

} // namespace
} // namespace kivo
