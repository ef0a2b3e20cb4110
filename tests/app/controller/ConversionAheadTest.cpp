// Converting a transcript's settled sentences while the user is still speaking.
#include "app/controller/Conversion.h"
#include "tests/app/controller/ControllerFixture.h"

#include <QFile>

#include <gtest/gtest.h>

namespace kivo {
namespace {

using Status = SpeechSession::Status;

// The runner notes each request, reports some progress and answers "譯N。" for the Nth, after
// `delay` seconds.
class ConvertingAhead : public test::ControllerFixture {
protected:
    void SetUp() override
    {
        ControllerFixture::SetUp();
        answerAfter("0");
        change([](PanelSettings& settings) { settings.autoInsert = false; });
    }

    void answerAfter(const std::string& delay)
    {
        log = (bundle.resources() / "requests.log").string();
        // Preparation runs (--prepare) are not conversions.
        bundle.setRunnerScript("[ \"$1\" = --prepare ] && exit 0; cat >> '" + log + "'; echo >> '" + log +
                               "'; printf '4 9\\n' >&3; sleep " + delay + "; n=$(grep -c . '" + log +
                               "'); "
                               // A source with 空 gets a blank answer, which is no conversion.
                               "tail -n 1 '" +
                               log +
                               "' | grep -q '\"source\":\"空' && n=' ' && "
                               "printf '{\"status\":\"generated\",\"text\":\"%s\"}\\n' \"$n\" && exit 0; "
                               "printf '{\"status\":\"generated\",\"text\":\"譯%s。\"}\\n' \"$n\"");
    }

    QStringList requests() const
    {
        QFile file(QString::fromStdString(log));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts)
                                              : QStringList();
    }

    bool idle() { return !app->conversion().running() && state().activity.idle(); }

    std::string log;
};

TEST_F(ConvertingAhead, SettledSentencesAreConvertedDuringTheRecordingAndOnlyTheRestAfterIt)
{
    startRecording();
    EXPECT_EQ(recorder->lastSettings.longestWindow, 6.0) << "short windows leave little for after the stop";
    recorder->callbacks.onSettled("第一句。第二");
    ASSERT_TRUE(test::waitUntil([this] { return requests().size() == 1; }));
    EXPECT_TRUE(requests()[0].contains(QStringLiteral("第一句。")));
    EXPECT_FALSE(requests()[0].contains(QStringLiteral("第二"))) << "an unfinished sentence waits";
    test::spin(std::chrono::milliseconds(300));
    recorder->callbacks.onSettled("另一句。又一句。"); // not the settled text grown: another transcript's
    test::spin(std::chrono::milliseconds(300));
    recorder->callbacks.onSettled("第一句。第二句。第三");
    ASSERT_TRUE(test::waitUntil([this] { return requests().size() == 2; }));
    EXPECT_FALSE(requests().join(u'|').contains(QStringLiteral("又一句")));
    test::spin(std::chrono::milliseconds(200));

    recorder->callbacks.onStatus(Status::finalizing);
    recorder->callbacks.onCompletion(std::string("第一句。第二句。第三句。"));
    ASSERT_TRUE(test::waitUntil([this] { return idle() && !state().result.isEmpty(); }));
    ASSERT_EQ(requests().size(), 3);
    EXPECT_TRUE(requests()[2].contains(QStringLiteral("第三句。")));
    EXPECT_FALSE(requests()[2].contains(QStringLiteral("第二句"))) << "converted again";
    EXPECT_EQ(state().result, QStringLiteral("譯1。譯2。譯3。"));
    EXPECT_EQ(state().source, QStringLiteral("第一句。第二句。第三句。")) << "Original holds the whole transcript";
}

TEST_F(ConvertingAhead, AtTheStopThePieceStillRunningIsWaitedForAndAllConvertedAheadIsShownAtOnce)
{
    answerAfter("0.5");
    startRecording();
    recorder->callbacks.onSettled("甲。");
    ASSERT_TRUE(test::waitUntil([this] { return requests().size() == 1; }));
    recorder->callbacks.onCompletion(std::string("甲。"));
    EXPECT_TRUE(app->conversion().running()) << "waiting for the piece, not idle";
    EXPECT_TRUE(test::waitUntil([this] { return status().endsWith(QStringLiteral("… 4 of about 9 tokens written")); }))
        << status().toStdString();
    ASSERT_TRUE(test::waitUntil([this] { return idle() && !state().result.isEmpty(); }));
    EXPECT_EQ(requests().size(), 1) << "nothing was left to convert";
    EXPECT_EQ(state().result, QStringLiteral("譯1。"));

    // What settles while a piece runs is converted after the stop, with its progress shown.
    startRecording();
    recorder->callbacks.onSettled("丁。");
    ASSERT_TRUE(test::waitUntil([this] { return requests().size() == 2; }));
    recorder->callbacks.onSettled("丁。戊。");
    recorder->callbacks.onCompletion(std::string("丁。戊。"));
    EXPECT_TRUE(test::waitUntil([this] { return status().contains(QStringLiteral("2 / 2")); }))
        << status().toStdString();
    ASSERT_TRUE(test::waitUntil([this] { return idle() && !state().result.isEmpty(); }));
    EXPECT_EQ(state().result, QStringLiteral("譯2。譯3。"));

    // Cancelling while waiting drops the piece and shows nothing.
    startRecording();
    recorder->callbacks.onSettled("乙。");
    ASSERT_TRUE(test::waitUntil([this] { return requests().size() == 4; }));
    recorder->callbacks.onCompletion(std::string("乙。丙。"));
    emit panel().cancelClicked();
    test::spin(std::chrono::milliseconds(800));
    EXPECT_TRUE(idle());
    EXPECT_EQ(requests().size(), 4);
    EXPECT_TRUE(state().result.isEmpty());
}

TEST_F(ConvertingAhead, AnotherModeChosenWhileSpeakingConvertsTheSettledSentencesAgainInIt)
{
    answerAfter("0.3");
    startRecording();
    recorder->callbacks.onSettled("第一句。第二");
    ASSERT_TRUE(test::waitUntil([this] { return requests().size() == 1; }));
    change([](PanelSettings& settings) { settings.modeIndex = 3; }); // English, while the piece runs
    ASSERT_TRUE(test::waitUntil([this] { return requests().size() == 2; }));
    EXPECT_TRUE(requests()[1].contains(QStringLiteral("第一句。")));
    EXPECT_TRUE(requests()[1].contains(QStringLiteral("\"locale\":\"en-US\"")));
    recorder->callbacks.onCompletion(std::string("第一句。"));
    ASSERT_TRUE(test::waitUntil([this] { return idle() && !state().result.isEmpty(); }));
    EXPECT_EQ(requests().size(), 2);
    EXPECT_EQ(state().result, QStringLiteral("譯2。")) << "the piece in the mode now chosen";
}

TEST_F(ConvertingAhead, WithoutPunctuationALongEnoughSettledStretchGoesWhole)
{
    startRecording();
    recorder->callbacks.onSettled("今日天氣好好");
    test::spin(std::chrono::milliseconds(300));
    EXPECT_TRUE(requests().isEmpty());
    recorder->callbacks.onSettled("今日天氣好好我哋去飲茶啦之後再行"); // 16 characters
    ASSERT_TRUE(test::waitUntil([this] { return requests().size() == 1; }));
    EXPECT_TRUE(requests()[0].contains(QStringLiteral("今日天氣好好我哋去飲茶啦之後再行")));
}

TEST_F(ConvertingAhead, APieceThatFailsIsLeftWithEverythingAfterItToTheConversionAfterTheStop)
{
    startRecording();
    recorder->callbacks.onSettled("空。");
    ASSERT_TRUE(test::waitUntil([this] { return requests().size() == 1; }));
    test::spin(std::chrono::milliseconds(300));
    recorder->callbacks.onSettled("空。好。");
    test::spin(std::chrono::milliseconds(300));
    EXPECT_EQ(requests().size(), 1) << "nothing more in the background after a failure";
    recorder->callbacks.onCompletion(std::string("空。好。"));
    ASSERT_TRUE(test::waitUntil([this] { return requests().size() == 2 && idle(); }));
    EXPECT_TRUE(requests()[1].contains(QStringLiteral("\"source\":\"空。好。"))) << "converted whole";
}

TEST_F(ConvertingAhead, TurnedOffOrWithoutProcessingAfterRecordingNothingRunsUntilTheStop)
{
    // A recording with converting ahead on first (nothing settled in it), so that turning it
    // off has something to stop.
    startRecording();
    recorder->callbacks.onCompletion(std::string("前一句。"));
    ASSERT_TRUE(test::waitUntil([this] { return requests().size() == 1 && idle(); }));
    for (const bool convertWhileSpeaking : {false, true}) {
        change([&](PanelSettings& settings) {
            settings.convertWhileSpeaking = convertWhileSpeaking;
            settings.autoProcess = !convertWhileSpeaking;
        });
        const auto before = requests().size();
        startRecording();
        EXPECT_EQ(recorder->lastSettings.longestWindow, 0.0) << "the recogniser's own windows";
        recorder->callbacks.onSettled("一句。");
        test::spin(std::chrono::milliseconds(300));
        EXPECT_EQ(requests().size(), before);
        recorder->callbacks.onCompletion(std::string("一句。"));
        ASSERT_TRUE(test::waitUntil([this] { return idle(); }));
    }
    EXPECT_EQ(requests().size(), 2) << "one conversion, after the stop, with processing on";
}

} // namespace
} // namespace kivo
