// The catalogue the app embeds: installed and removed at run time, and every message of the
// committed .ts answered by it in its own context.
#include "app/shell/InterfaceLanguage.h"
#include "tests/support/InterfaceLanguageScope.h"

#include <QCoreApplication>
#include <QFile>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <vector>

namespace kivo {
namespace {

struct Message {
    QString context;
    QString source;
    QString comment;
    QString translation;
};

std::vector<Message> catalogue(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    std::vector<Message> messages;
    QXmlStreamReader xml(&file);
    QString context;
    Message message;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            if (xml.isEndElement() && xml.name() == u"message") {
                messages.push_back(message);
            }
            continue;
        }
        if (xml.name() == u"name") {
            context = xml.readElementText();
        } else if (xml.name() == u"message") {
            message = Message{context, {}, {}, {}};
        } else if (xml.name() == u"source") {
            message.source = xml.readElementText();
        } else if (xml.name() == u"comment") {
            message.comment = xml.readElementText();
        } else if (xml.name() == u"translation") {
            message.translation = xml.readElementText();
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return messages;
}

const char* const busy = "Another language model test is running. Try again later.";

TEST(InterfaceLanguageTest, SwitchingInstallsAndRemovesTheCatalogue)
{
    const test::InterfaceLanguageScope english(false);
    EXPECT_TRUE(InterfaceLanguage::current().isEmpty());
    EXPECT_EQ(QCoreApplication::translate("RunFailureMessage", busy), QString::fromUtf8(busy));

    ASSERT_TRUE(InterfaceLanguage::use(InterfaceLanguage::traditionalChinese));
    EXPECT_EQ(InterfaceLanguage::current(), InterfaceLanguage::traditionalChinese);
    EXPECT_EQ(QCoreApplication::translate("RunFailureMessage", busy),
              QStringLiteral("另一個語言模型測試正在執行，請稍後重試。"));

    EXPECT_TRUE(InterfaceLanguage::use(QString()));
    EXPECT_TRUE(InterfaceLanguage::current().isEmpty());
    EXPECT_EQ(QCoreApplication::translate("RunFailureMessage", busy), QString::fromUtf8(busy));

    // A language without a catalogue leaves English, not the previous language, in place.
    ASSERT_TRUE(InterfaceLanguage::use(InterfaceLanguage::traditionalChinese));
    EXPECT_FALSE(InterfaceLanguage::use(QStringLiteral("xx")));
    EXPECT_TRUE(InterfaceLanguage::current().isEmpty());
    EXPECT_EQ(QCoreApplication::translate("RunFailureMessage", busy), QString::fromUtf8(busy));
}

TEST(InterfaceLanguageTest, TheEmbeddedCatalogueAnswersEveryMessageOfTheCommittedOne)
{
    const auto messages = catalogue(QStringLiteral(KIVO_SOURCE_DIR "/resources/translations/kivo_zh_Hant.ts"));
    ASSERT_GT(messages.size(), 100u);
    const test::InterfaceLanguageScope chinese(true);
    for (const Message& message : messages) {
        const QByteArray source = message.source.toUtf8();
        const QByteArray comment = message.comment.toUtf8();
        EXPECT_EQ(QCoreApplication::translate(message.context.toUtf8().constData(), source.constData(),
                                              comment.isEmpty() ? nullptr : comment.constData()),
                  message.translation)
            << message.context.toStdString() << ": " << source.toStdString();
    }
}

} // namespace
} // namespace kivo
