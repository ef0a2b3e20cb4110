#include "platform/pasteboard/InputPasteboardLease.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <gtest/gtest.h>

#include <memory>

namespace kivo {
namespace {

class GuiApplication : public ::testing::Environment {
public:
    void SetUp() override { application = std::make_unique<QGuiApplication>(argc, argv); }
    void TearDown() override { application.reset(); }

private:
    int argc = 1;
    char name[16] = "pasteboard";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QGuiApplication> application;
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new GuiApplication);

QClipboard& board()
{
    return *QGuiApplication::clipboard();
}

void putUserContents(const QByteArray& html = "<i>mine</i>")
{
    auto* data = new QMimeData;
    data->setText(QStringLiteral("mine"));
    data->setData(QStringLiteral("text/html"), html);
    board().setMimeData(data);
}

TEST(InputPasteboardLeaseTest, RestoresEveryFormatWhenTheLeaseEnds)
{
    putUserContents();
    InputPasteboardLease lease;
    ASSERT_TRUE(lease.stage(QStringLiteral("插入")));
    EXPECT_TRUE(lease.active());
    EXPECT_TRUE(lease.isCurrent());
    EXPECT_EQ(board().text(), QStringLiteral("插入"));
    EXPECT_TRUE(lease.finish());
    EXPECT_FALSE(lease.active());
    EXPECT_EQ(board().text(), QStringLiteral("mine"));
    EXPECT_EQ(board().mimeData()->data(QStringLiteral("text/html")), QByteArray("<i>mine</i>"));

    board().setText(QStringLiteral("later"));
    EXPECT_FALSE(lease.finish()) << "an idle lease restores nothing";
    EXPECT_EQ(board().text(), QStringLiteral("later"));
}

TEST(InputPasteboardLeaseTest, AFormatWithEmptyDataIsBorrowedAndComesBackEmpty)
{
    auto* data = new QMimeData;
    data->setData(QStringLiteral("text/plain"), QByteArray());
    data->setData(QStringLiteral("text/html"), QByteArray("<p></p>"));
    board().setMimeData(data);
    InputPasteboardLease lease;
    ASSERT_TRUE(lease.stage(QStringLiteral("ours")));
    EXPECT_EQ(board().text(), QStringLiteral("ours"));
    EXPECT_TRUE(lease.finish());
    const QMimeData* now = board().mimeData();
    ASSERT_TRUE(now);
    EXPECT_TRUE(now->hasFormat(QStringLiteral("text/plain")));
    EXPECT_TRUE(now->data(QStringLiteral("text/plain")).isEmpty());
    EXPECT_EQ(now->data(QStringLiteral("text/html")), QByteArray("<p></p>"));
}

TEST(InputPasteboardLeaseTest, NoticesWhenTheStagedTextIsRead)
{
    putUserContents();
    InputPasteboardLease lease;
    ASSERT_TRUE(lease.stage(QStringLiteral("ours")));
    EXPECT_FALSE(lease.served()) << "its own check of the write does not count";
    EXPECT_EQ(board().mimeData()->data(QStringLiteral("text/plain")), QByteArray("ours"));
    EXPECT_TRUE(lease.served());
    lease.finish();
    EXPECT_FALSE(lease.served());
}

TEST(InputPasteboardLeaseTest, AnEmptyClipboardIsGivenBackEmpty)
{
    board().clear();
    InputPasteboardLease lease;
    ASSERT_TRUE(lease.stage(QStringLiteral("x")));
    EXPECT_TRUE(lease.finish());
    EXPECT_TRUE(board().text().isEmpty());
}

TEST(InputPasteboardLeaseTest, LeavesAChangeByOthersAlone)
{
    putUserContents();
    InputPasteboardLease lease;
    ASSERT_TRUE(lease.stage(QStringLiteral("ours")));
    board().setText(QStringLiteral("someone else"));
    EXPECT_FALSE(lease.isCurrent());
    EXPECT_FALSE(lease.finish());
    EXPECT_EQ(board().text(), QStringLiteral("someone else"));
}

TEST(InputPasteboardLeaseTest, RefusesToBorrowMoreThanItCanCopy)
{
    putUserContents(QByteArray(12'000'000, 'x'));
    InputPasteboardLease lease;
    EXPECT_FALSE(lease.stage(QStringLiteral("ours")));
    EXPECT_FALSE(lease.active());
    EXPECT_EQ(board().text(), QStringLiteral("mine")) << "a refused lease leaves the clipboard untouched";
}

} // namespace
} // namespace kivo
