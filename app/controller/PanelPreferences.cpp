#include "app/controller/PanelPreferences.h"

#include "app/conversion/OutputMode.h"
#include "app/shell/FloatingPanel.h"
#include "app/shell/VoicePanel.h"
#include "app/shell/shortcut/PanelShortcut.h"

#include <QGuiApplication>
#include <QRegularExpression>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace kivo {
namespace {

std::optional<std::string> text(const QVariantMap& record, const char* key)
{
    const QVariant value = record.value(QString::fromLatin1(key));
    if (value.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return value.toString().toStdString();
}

bool flag(const QVariantMap& record, const char* key, bool fallback)
{
    const QVariant value = record.value(QString::fromLatin1(key));
    return value.typeId() == QMetaType::Bool ? value.toBool() : fallback;
}

double primaryHeight()
{
    const QScreen* primary = QGuiApplication::primaryScreen();
    return primary ? primary->geometry().height() : 0.0;
}

// Qt's top-left rectangles and the record's bottom-left ones differ only in y.
QRectF flipped(const QRectF& rect)
{
    return {rect.x(), primaryHeight() - rect.y() - rect.height(), rect.width(), rect.height()};
}

QString number(double value)
{
    return QString::number(value, 'g', 15);
}

} // namespace

PanelPreferences::PanelPreferences(std::unique_ptr<QSettings> store)
    : store_(store ? std::move(store) : std::make_unique<QSettings>(QStringLiteral("kivo"), QStringLiteral("Kivo")))
{
}

PanelPreferences::~PanelPreferences() = default;

QVariantMap PanelPreferences::record() const
{
    return store_->value(QString::fromLatin1(preferencesKey)).toMap();
}

void PanelPreferences::save(const FloatingPanel& panel)
{
    if (!preferencesReady_) {
        return;
    }
    const PanelSettings& settings = panel.state().settings;
    const OutputMode target = OutputMode::at(settings.modeIndex);
    QVariantMap record;
    record[QStringLiteral("language")] = settings.chinese ? QStringLiteral("zh-Hant") : QStringLiteral("en");
    record[QStringLiteral("inputLanguage")] = QStringLiteral("zh-HK");
    record[QStringLiteral("targetLanguage")] = QString::fromUtf8(target.id());
    record[QStringLiteral("speechEngine")] =
        settings.dictation ? QStringLiteral("dictation") : QStringLiteral("speech");
    record[QStringLiteral("autoProcess")] = settings.autoProcess;
    record[QStringLiteral("autoInsert")] = settings.autoInsert;
    record[QStringLiteral("convertWhileSpeaking")] = settings.convertWhileSpeaking;
    record[QStringLiteral("hongKongCharacters")] = settings.hongKongCharacters;
    record[QStringLiteral("vocabulary")] = settings.vocabulary;
    record[QStringLiteral("shortcut")] = QString::fromUtf8(PanelShortcut::atIndex(settings.shortcutIndex).rawValue());
    record[QStringLiteral("editorExpanded")] = settings.editorExpanded;
    // A frame that could not be applied (its screen is absent) is kept until the user moves the
    // window.
    record[QStringLiteral("windowFrame")] =
        savedFrame_.isEmpty() ? frameText(flipped(panel.window().frameGeometry())) : savedFrame_;
    store_->setValue(QString::fromLatin1(preferencesKey), record);
}

void PanelPreferences::windowMoved(const FloatingPanel& panel)
{
    savedFrame_.clear();
    save(panel);
}

void PanelPreferences::restore(FloatingPanel& panel, const std::function<void()>& localize)
{
    preferencesReady_ = false;
    const QVariantMap saved = record();
    const QVariant frame = saved.value(QStringLiteral("windowFrame"));
    savedFrame_ = frame.typeId() == QMetaType::QString ? frame.toString() : QString();

    PanelSettings settings = panel.state().settings;
    settings.chinese = text(saved, "language") == "zh-Hant";
    settings.modeIndex = OutputMode::restored(text(saved, "targetLanguage"), text(saved, "writingMode")).index();
    settings.dictation = text(saved, "speechEngine") == "dictation";
    settings.autoProcess = flag(saved, "autoProcess", true);
    settings.autoInsert = flag(saved, "autoInsert", true);
    settings.convertWhileSpeaking = flag(saved, "convertWhileSpeaking", true);
    settings.hongKongCharacters = flag(saved, "hongKongCharacters", true);
    settings.vocabulary = saved.value(QStringLiteral("vocabulary")).toString();
    const auto rawShortcut = text(saved, "shortcut");
    const PanelShortcut shortcut = rawShortcut
                                       ? PanelShortcut::fromRawValue(*rawShortcut).value_or(PanelShortcut::rightCommand)
                                       : PanelShortcut(PanelShortcut::rightCommand);
    settings.shortcutIndex = shortcut.index() < static_cast<int>(PanelShortcut::allCases.size()) ? shortcut.index() : 0;
    panel.setSettings(settings);
    if (localize) {
        localize();
    }
    panel.setEditorExpanded(flag(saved, "editorExpanded", false));
    placeWindow(panel, saved.value(QStringLiteral("windowFrame")));
    preferencesReady_ = true;
}

void PanelPreferences::placeWindow(FloatingPanel& panel, const QVariant& savedFrame)
{
    VoicePanel& window = panel.window();
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame = window.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window.place(frame.topLeft());
    }
    if (savedFrame.typeId() != QMetaType::QString) {
        return;
    }
    const auto saved = frameFromText(savedFrame.toString());
    if (!saved) {
        return;
    }
    std::vector<QRectF> visibleFrames;
    for (const QScreen* each : QGuiApplication::screens()) {
        visibleFrames.push_back(flipped(each->availableGeometry()));
    }
    const QSizeF size = window.frameGeometry().size();
    const auto origin = placement(*saved, size, visibleFrames);
    if (!origin) {
        return;
    }
    const QRectF topLeft = flipped(QRectF(*origin, size));
    window.place(QPoint(static_cast<int>(std::lround(topLeft.x())), static_cast<int>(std::lround(topLeft.y()))));
}

QString PanelPreferences::frameText(const QRectF& frame)
{
    return QStringLiteral("{{%1, %2}, {%3, %4}}")
        .arg(number(frame.x()), number(frame.y()), number(frame.width()), number(frame.height()));
}

std::optional<QRectF> PanelPreferences::frameFromText(const QString& text)
{
    static const QRegularExpression numberPattern(
        QStringLiteral(R"([-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?|[-+]?(?:inf(?:inity)?|nan))"),
        QRegularExpression::CaseInsensitiveOption);
    std::vector<double> numbers;
    for (auto match = numberPattern.globalMatch(text); match.hasNext() && numbers.size() < 4;) {
        numbers.push_back(match.next().captured().toDouble());
    }
    if (numbers.size() < 4) {
        return std::nullopt;
    }
    return QRectF(numbers[0], numbers[1], numbers[2], numbers[3]);
}

std::optional<QPointF> PanelPreferences::placement(const QRectF& saved, const QSizeF& size,
                                                   const std::vector<QRectF>& visibleFrames)
{
    if (!std::isfinite(saved.x()) || !std::isfinite(saved.y()) || !std::isfinite(saved.height()) ||
        !std::isfinite(saved.width())) {
        return std::nullopt;
    }
    const auto screen = std::find_if(visibleFrames.begin(), visibleFrames.end(),
                                     [&](const QRectF& visible) { return visible.intersects(saved.normalized()); });
    if (screen == visibleFrames.end()) {
        return std::nullopt;
    }
    const QRectF& v = *screen;
    const double x0 = saved.left();
    const double y0 = saved.y() + saved.height() - size.height();
    const double x = std::max(v.left(), std::min(x0, v.x() + v.width() - size.width()));
    const double y = std::max(v.y(), std::min(y0, v.y() + v.height() - size.height()));
    return QPointF(x, y);
}

} // namespace kivo
