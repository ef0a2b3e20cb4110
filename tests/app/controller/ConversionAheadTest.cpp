// Converting a transcript's settled sentences while the user is still speaking.
#include "app/controller/Conversion.h"
#include "tests/app/controller/ControllerFixture.h"

#include <QFile>

#include <gtest/gtest.h>

namespace kivo {
namespace {

using Status = SpeechSession::Status;

// The runner notes each request and answers "譯N。" for the Nth, after `delay` seconds.
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
        bundle.setRunnerScript("[ \"$1\" = --prepare ] && exit 0; cat >> '" + log + "'; echo >> '" + log + "'; sleep " + delay +
                               "; n=$(grep -c . '" + log + "'); "
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
    recorder->callbacks.onSettled("第一句。第二");
    ASSERT_TRUE(test::waitUntil([this] { return requests().size() == 1; }));
    EXPECT_TRUE(requests()[0].contains(QStringLiteral("第一句。")));
    EXPECT_FALSE(requests()[0].contains(QStringLiteral("第二"))) << "an unfinished sentence waits";
    recorder->callbacks.onSettled("第一句。第二句。第三");
    ASSERT_TRUE(test::waitUntil([this] { return requests().size() == 2; }));
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
    ASSERT_TRUE(test::waitUntil([this] { return idle() && !state().result.isEmpty(); }));
    EXPECT_EQ(requests().size(), 1) << "nothing was left to convert";
    EXPECT_EQ(state().result, QStringLiteral("譯1。"));

    // Cancelling while waiting drops the piece and shows nothing.
    startRecording();
    recorder->callbacks.onSettled("乙。");
    ASSERT_TRUE(test::waitUntil([this] { return requests().size() == 2; }));
    recorder->callbacks.onCompletion(std::string("乙。丙。"));
    emit panel().cancelClicked();
    test::spin(std::chrono::milliseconds(800));
    EXPECT_TRUE(idle());
    EXPECT_EQ(requests().size(), 2);
    EXPECT_TRUE(state().result.isEmpty());
}

TEST_F(ConvertingAhead, WithoutPunctuationALongEnoughSettledStretchGoesWhole)
{
    startRecording();
    recorder->callbacks.onSettled("今日天氣好好");
    test::spin(std::chrono::milliseconds(300));
    EXPECT_TRUE(requests().isEmpty());
    recorder->callbacks.onSettled("今日天氣好好我哋去飲茶啦之後再行下街");
    ASSERT_TRUE(test::waitUntil([this] { return requests().size() == 1; }));
    EXPECT_TRUE(requests()[0].contains(QStringLiteral("今日天氣好好我哋去飲茶啦之後再行下街")));
}

TEST_F(ConvertingAhead, TurnedOffOrWithoutProcessingAfterRecordingNothingRunsUntilTheStop)
{
    for (const bool convertWhileSpeaking : {false, true}) {
        change([&](PanelSettings& settings) {
            settings.convertWhileSpeaking = convertWhileSpeaking;
            settings.autoProcess = !convertWhileSpeaking;
        });
        const auto before = requests().size();
        startRecording();
        recorder->callbacks.onSettled("一句。");
        test::spin(std::chrono::milliseconds(300));
        EXPECT_EQ(requests().size(), before);
        recorder->callbacks.onCompletion(std::string("一句。"));
        ASSERT_TRUE(test::waitUntil([this] { return idle(); }));
    }
    EXPECT_EQ(requests().size(), 1) << "one conversion, after the stop, with processing on";
}

} // namespace
} // namespace kivo
