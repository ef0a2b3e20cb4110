#include "app/delivery/DeliveryOutcomeText.h"

#include "app/shell/Localization.h"

namespace kivo::DeliveryOutcomeText {

QString suffix(InputDelivery outcome, bool chinese)
{
    const auto tr = [chinese](const char* chineseText, const char* englishText) {
        return Localization::tr(chinese, chineseText, englishText);
    };
    switch (outcome) {
    case InputDelivery::inserted:
        return tr(" · 已填入目前輸入框", " · Inserted into the current input");
    case InputDelivery::permissionRequired:
        return tr(" · 需輔助使用權限；結果留在 Kivo", " · Accessibility access required; result kept in Kivo");
    case InputDelivery::noInput:
        return tr(" · 沒有輸入框；結果留在 Kivo", " · No input focused; result kept in Kivo");
    case InputDelivery::noCheckableInput:
        return tr(" · 目前的應用程式沒有 Kivo 能核對的輸入框；結果留在 Kivo，可手動複製",
                  " · The focused application has no input Kivo can check; result kept in Kivo to copy");
    case InputDelivery::passwordField:
        return tr(" · 密碼欄永不自動填入；結果留在 Kivo",
                  " · Password fields are never filled automatically; result kept in Kivo");
    case InputDelivery::unsupported:
        return tr(" · 此輸入框無法自動填入；請手動複製", " · Input cannot be filled automatically; copy manually");
    case InputDelivery::changed:
        return tr(" · 輸入目標或按鍵狀態已變動；結果留在 Kivo", " · Input or modifier keys changed; result kept in Kivo");
    case InputDelivery::notInserted:
        return tr(" · 沒有填入任何內容；結果可供複製", " · Nothing was inserted; the result is ready to copy");
    case InputDelivery::uncertain:
        break;
    }
    return tr(" · 寫入狀態未確認，請先檢查目標；沒有重試", " · Write unconfirmed; check the target before copying. Not retried");
}

} // namespace kivo::DeliveryOutcomeText
