#include "app/shell/lifecycle/TextService.h"

namespace kivo {

void TextService::Raise()
{
    if (onRaise) {
        onRaise();
    }
}

void TextService::ConvertSelection(const QString& text)
{
    const QString error = onConvertSelection ? onConvertSelection(text) : QStringLiteral("Kivo is not ready.");
    if (!error.isEmpty() && calledFromDBus()) {
        sendErrorReply(QString::fromLatin1(refusedError), error);
    }
}

} // namespace kivo
