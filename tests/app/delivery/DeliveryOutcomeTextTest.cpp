#include "app/delivery/DeliveryOutcomeText.h"
#include "tests/support/InterfaceLanguageScope.h"

#include <gtest/gtest.h>

#include <set>

namespace kivo {
namespace {

constexpr InputDelivery everyOutcome[] = {
    InputDelivery::inserted,         InputDelivery::permissionRequired, InputDelivery::noInput,
    InputDelivery::noCheckableInput, InputDelivery::passwordField,      InputDelivery::unsupported,
    InputDelivery::changed,          InputDelivery::uncertain,          InputDelivery::notInserted,
};

QString suffix(InputDelivery outcome, bool chinese)
{
    return test::inLanguage(chinese, [outcome] { return DeliveryOutcomeText::suffix(outcome); });
}

TEST(DeliveryOutcomeTextTest, EveryOutcomeHasItsOwnTextInBothLanguages)
{
    for (const bool chinese : {true, false}) {
        std::set<QString> seen;
        for (const InputDelivery outcome : everyOutcome) {
            const QString text = suffix(outcome, chinese);
            EXPECT_TRUE(text.startsWith(QStringLiteral(" · "))) << rawValue(outcome);
            EXPECT_TRUE(seen.insert(text).second) << "shared text: " << rawValue(outcome);
        }
    }
    EXPECT_EQ(suffix(InputDelivery::notInserted, false),
              QStringLiteral(" · Nothing was inserted; the result is ready to copy"));
    EXPECT_EQ(suffix(InputDelivery::notInserted, true), QStringLiteral(" · 沒有填入任何內容；結果可供複製"));
    EXPECT_TRUE(suffix(InputDelivery::passwordField, false).contains(QStringLiteral("Password")));
    EXPECT_TRUE(suffix(InputDelivery::passwordField, true).contains(QStringLiteral("密碼")));
    EXPECT_TRUE(suffix(InputDelivery::uncertain, false).contains(QStringLiteral("unconfirmed")));
}

} // namespace
} // namespace kivo
