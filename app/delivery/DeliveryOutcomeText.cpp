#include "app/delivery/DeliveryOutcomeText.h"

#include <QCoreApplication>

namespace kivo::DeliveryOutcomeText {

QString suffix(InputDelivery outcome)
{
    switch (outcome) {
    case InputDelivery::inserted:
        return QCoreApplication::translate("DeliveryOutcomeText", " · Inserted into the current input");
    case InputDelivery::permissionRequired:
        return QCoreApplication::translate("DeliveryOutcomeText",
                                           " · Accessibility access required; result kept in Kivo");
    case InputDelivery::noInput:
        return QCoreApplication::translate("DeliveryOutcomeText", " · No input focused; result kept in Kivo");
    case InputDelivery::noCheckableInput:
        return QCoreApplication::translate(
            "DeliveryOutcomeText",
            " · The focused application has no input Kivo can check; result kept in Kivo to copy");
    case InputDelivery::passwordField:
        return QCoreApplication::translate("DeliveryOutcomeText",
                                           " · Password fields are never filled automatically; result kept in Kivo");
    case InputDelivery::unsupported:
        return QCoreApplication::translate("DeliveryOutcomeText",
                                           " · Input cannot be filled automatically; copy manually");
    case InputDelivery::changed:
        return QCoreApplication::translate("DeliveryOutcomeText",
                                           " · Input or modifier keys changed; result kept in Kivo");
    case InputDelivery::notInserted:
        return QCoreApplication::translate("DeliveryOutcomeText",
                                           " · Nothing was inserted; the result is ready to copy");
    case InputDelivery::uncertain: break;
    }
    return QCoreApplication::translate("DeliveryOutcomeText",
                                       " · Write unconfirmed; check the target before copying. Not retried");
}

} // namespace kivo::DeliveryOutcomeText
